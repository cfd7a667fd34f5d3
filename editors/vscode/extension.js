// The VS Code side of ostrel: starts ostrel-lsp for story files.
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const command = vscode.workspace.getConfiguration('ostrel').get('server.path', 'ostrel-lsp');
  const server = { command, transport: TransportKind.stdio };
  client = new LanguageClient(
    'ostrel',
    'ostrel',
    { run: server, debug: server },
    {
      documentSelector: [{ scheme: 'file', language: 'ostrel' }],
      synchronize: {
        fileEvents: vscode.workspace.createFileSystemWatcher('**/*.ostrel'),
      },
    });
  context.subscriptions.push({ dispose: () => client && client.stop() });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
