-- Headless Neovim as a real client of ostrel-lsp: diagnostics, an edit that
-- changes them, a jump to a definition, a rename, a completion, a hover and
-- a quick fix. Every wait has a limit; any failure quits with status 1.
local server = os.getenv('OSTREL_LSP')
local dir = os.getenv('STORY_DIR')
local step = 'start'

local function fail(message)
  io.stderr:write('lsp_nvim: ' .. step .. ': ' .. message .. '\n')
  vim.cmd('cquit 1')
end

local function wait_for(what, condition)
  if not vim.wait(5000, condition, 10) then fail('no ' .. what .. ' within 5 seconds') end
end

local function messages(buf)
  local list = {}
  for _, d in ipairs(vim.diagnostic.get(buf)) do
    table.insert(list, (d.lnum + 1) .. ': ' .. d.message)
  end
  table.sort(list)
  return table.concat(list, ' | ')
end

local function run()
  vim.cmd('edit ' .. dir .. '/script.ostrel')
  local buf = vim.api.nvim_get_current_buf()
  local client = vim.lsp.start_client({
    cmd = { server },
    root_dir = dir,
    name = 'ostrel',
    flags = { debounce_text_changes = 0 },
  })
  if not client then fail('the server did not start') end
  vim.lsp.buf_attach_client(buf, client)

  step = 'diagnostics'
  local expected = '11: |location=Library is never reached: no start statement or change '
    .. 'command leads to it | 9: |location=Libary does not exist; did you mean '
    .. '|location=Library, at line 11?'
  wait_for('diagnostics', function() return messages(buf) ~= '' end)
  if messages(buf) ~= expected then fail('got ' .. messages(buf)) end

  step = 'edit'
  vim.api.nvim_buf_set_lines(buf, 8, 9, true, { 'Library' })
  wait_for('cleared diagnostics', function() return messages(buf) == '' end)

  step = 'definition'
  vim.api.nvim_win_set_cursor(0, { 9, 2 })
  vim.lsp.buf.definition()
  wait_for('jump', function() return vim.api.nvim_win_get_cursor(0)[1] == 11 end)

  step = 'rename'
  vim.lsp.buf.rename('Study')
  wait_for('rename', function()
    return vim.api.nvim_buf_get_lines(buf, 10, 11, true)[1] == '|location=Study'
  end)
  local use = vim.api.nvim_buf_get_lines(buf, 8, 9, true)[1]
  if use ~= 'Study' then fail('the name line reads ' .. use) end

  step = 'completion'
  vim.api.nvim_buf_set_lines(buf, 8, 9, true, { 'St' })
  local params = {
    textDocument = { uri = vim.uri_from_bufnr(buf) },
    position = { line = 8, character = 2 },
  }
  local replies = vim.lsp.buf_request_sync(buf, 'textDocument/completion', params, 5000)
  if not replies or not replies[client] or not replies[client].result then
    fail('no completion')
  end
  local labels = {}
  for _, item in ipairs(replies[client].result) do table.insert(labels, item.label) end
  table.sort(labels)
  if table.concat(labels, ',') ~= 'Hall,Study' then fail('got ' .. table.concat(labels, ',')) end

  step = 'quick fix'
  vim.api.nvim_buf_set_lines(buf, 8, 9, true, { 'Studdy' })
  wait_for('the misspelt name', function() return messages(buf):find('Studdy', 1, true) ~= nil end)
  local actions = vim.lsp.buf_request_sync(buf, 'textDocument/codeAction', {
    textDocument = { uri = vim.uri_from_bufnr(buf) },
    range = { start = { line = 8, character = 0 }, ['end'] = { line = 8, character = 6 } },
    context = { diagnostics = {} },
  }, 5000)
  local action = actions and actions[client] and actions[client].result and actions[client].result[1]
  if not action or action.title ~= "Replace with 'Study'" then fail('no fix offered') end
  vim.lsp.util.apply_workspace_edit(action.edit, 'utf-16')
  wait_for('fixed diagnostics', function() return messages(buf) == '' end)

  step = 'hover'
  local hover = vim.lsp.buf_request_sync(buf, 'textDocument/hover', {
    textDocument = { uri = vim.uri_from_bufnr(buf) },
    position = { line = 10, character = 12 },
  }, 5000)
  local text = hover and hover[client] and hover[client].result and hover[client].result.contents.value
  if not text or not text:find('led to from:', 1, true) then fail('got ' .. tostring(text)) end

  step = 'stop'
  vim.lsp.stop_client(client)
  wait_for('stop', function() return vim.lsp.get_client_by_id(client) == nil end)
  io.stdout:write('lsp_nvim: diagnostics, edit, definition, rename, completion, hover and '
    .. 'quick fix passed\n')
  vim.cmd('qall!')
end

local ok, err = pcall(run)
if not ok then fail(tostring(err)) end
