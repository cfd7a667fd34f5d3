// Published pages in a real browser: Debian's Chromium, headless, driven by
// puppeteer-core, each page opened from file://.
//
//   node browser_test.js OSTREL_PUBLISH STORY_DIR
//
// 1. The story in STORY_DIR (the bundled one): the title screen's time, the
//    page's title and focus, then played to its credits by typing, a battle
//    included, with the clock fixed and the pauses cut short; the screen
//    reader's lines, the saved transcript, and the offer to play again.
// 2. A small story of this test's own, at the real pace: the pace of a typed
//    line, the red of an error report, Backspace in a line and an arrow key
//    at a key wait, and a title that needs escaping.
// 3. A story that cannot go on: the page says it stopped.
// 4. Text that is not ASCII.
// 5. On a phone and for every reader (browser_reader_test.js): the text's
//    size, whole words and no sideways scrolling at two phone sizes, art,
//    the prompt above the keyboard, the settings and their keeping, instant
//    text, both themes, axe-core at phone and desktop sizes, --lang.
'use strict';
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');
const {storyDir, work, counts, check, publishPage, computerMove, openPage, screenText, screenShows,
       nextAsk, typeLine, longestLine, saveTranscript} = require('./browser_util.js');
const {readerTests} = require('./browser_reader_test.js');
const {saveTests} = require('./browser_save_test.js');

const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

async function bundledStory(browser) {
  const file = publishPage(storyDir, []);
  const size = fs.statSync(file).size;
  console.log(`page of ${path.basename(storyDir)}: ${size} bytes`);
  check(size <= 1024 * 1024, 'the page is at most 1 MB', size);
  const titleLine = longestLine(path.join(storyDir, 'title_screen.ostrel'));

  // The title screen at the real pace, timed from the start of navigation;
  // the best of three, so that a machine busy for a moment does not count.
  const times = [];
  for (let i = 0; i < 3; i++) {
    const {page} = await openPage(browser, file, null, false);
    await page.waitForFunction((t) => window.__rows.some((r) => r[1].includes(t)), {timeout: 10000},
                               titleLine);
    times.push(await page.evaluate((t) => window.__rows.find((r) => r[1].includes(t))[0], titleLine));
    if (i === 0) {
      check(await page.title() === path.basename(storyDir), 'the directory name as the title',
            await page.title());
      check(await page.evaluate(() => document.activeElement.classList.contains('xterm-helper-textarea')),
            'the keyboard focused on load');
    }
    await page.close();
  }
  console.log(`title screen shown ${times.map((t) => t.toFixed(0)).join(', ')} ms after opening the file`);
  check(Math.min(...times) < 1000, 'the title screen within 1 s', times);

  // Played through, the clock fixed, the pauses cut short.
  const seconds = 1000;
  const script = fs.readFileSync(path.join(storyDir, 'script.ostrel'), 'utf8');
  const moves = Number((script.match(/\*number_of_moves:\s*\n\s*(\d+)/) || [0, 3])[1]);
  const blocked = computerMove(seconds, moves);
  const strike = blocked % moves + 1;
  const {page, requests, errors} = await openPage(browser, file, seconds, true);
  const plan = ['west', 'search', 'east', 'east', 'buy', 'west', 'north', 'deeper', 'home', 'elder'];
  let asks = 0;
  let kind;
  let numbersSinceWord = 0;
  let numbers = 0;
  const typed = [];
  for (let step = 0; step < 200; step++) {
    [kind, asks] = await nextAsk(page, asks);
    if (kind === 'ended') break;
    if (kind === 'key') {
      await page.keyboard.press('Space');
    } else if (kind === 'word') {
      if (plan.length === 0) break;
      const word = plan.shift();
      typed.push(word);
      numbersSinceWord = 0;
      await typeLine(page, word);
    } else if (kind === 'number') {
      // Strike where the computer does not guard, guard where it strikes.
      const move = numbersSinceWord % 2 === 0 ? strike : blocked;
      numbersSinceWord++;
      numbers++;
      await typeLine(page, String(move));
    }
  }
  const credits = longestLine(path.join(storyDir, 'credits.ostrel'));
  const state = await page.evaluate(() => ({
    ended: document.getElementById('ended').textContent,
    againShown: !document.getElementById('again').hidden,
    againFocused: document.activeElement === document.getElementById('again'),
    lines: Array.from(document.querySelectorAll('#transcript p'), (p) => p.textContent),
  }));
  check(kind === 'ended', 'played to the end', `${kind}, words left ${plan}, typed ${typed}`);
  check(numbers >= 2, 'a battle was fought', numbers);
  check(state.lines.some((l) => l.includes(credits)), 'the credits shown', credits);
  check(await screenShows(page, credits) && !(await screenText(page)).includes(titleLine),
        'the screen cleared since the title screen', await screenText(page));
  check(state.ended === 'The story has ended.' && state.againShown && state.againFocused,
        'the end said, and play again offered', JSON.stringify(state.ended));

  // The screen reader's lines: whole lines, each once.
  const dialogLine = (script.match(/\|dialog=Waking\n([^\n]+)\n/) || [0, ''])[1];
  const heard = state.lines.filter((l) => l.trim() === dialogLine.trim());
  check(dialogLine === '' || heard.length === 1, 'a typed line announced once and whole',
        JSON.stringify(state.lines.filter((l) => dialogLine.startsWith(l.trim())).slice(0, 5)));
  const half = state.lines.filter((l, i) => i + 1 < state.lines.length &&
                                  state.lines[i + 1].startsWith(l) && l !== state.lines[i + 1]);
  check(half.length === 0, 'no half-typed line announced', JSON.stringify(half.slice(0, 3)));
  // The prompt is announced when the player is asked, the word when it is
  // entered.
  const prompt = state.lines.findIndex((l, i) => l.trim() === '>' && state.lines[i + 1] === typed[0]);
  check(prompt >= 0, 'the prompt and the player\'s word announced', JSON.stringify(state.lines.slice(0, 40)));

  // The transcript saved as a download.
  const saved = await saveTranscript(page, 'downloads');
  check(saved !== null, 'the transcript downloaded');
  if (saved !== null) {
    check(saved.includes(titleLine) && saved.includes(credits) && saved.includes(typed[0]) &&
          !saved.includes('\x1b'), 'the transcript holds all shown, as plain text', saved.slice(0, 300));
  }

  // Play again: a new run from the title screen.
  await page.click('#again');
  await page.waitForFunction((t) => document.body.dataset.input === 'key' &&
                             document.querySelector('.xterm-rows').innerText.includes(t),
                             {timeout: 10000}, titleLine);
  const again = await screenText(page);
  check(!again.includes(credits), 'play again starts anew', again);
  check(requests.length === 1 && errors.length === 0, 'no request but the page, no error',
        JSON.stringify({requests, errors}));
  await page.close();
}

async function smallStory(browser) {
  const dir = path.join(work, 'small');
  fs.mkdirSync(dir);
  const paced = 'The quick brown fox jumps over the lazy dog by the river.';
  fs.writeFileSync(path.join(dir, 'script.ostrel'), [
    '|start_dialog:', 'Pace', '|dialog=Pace', paced, '/change_location:', 'Hall', '/end',
    '|location=Hall', 'The hall.', '/if:', 'Bogus:', '/end_if', 'After the report.', '/get_input',
    '>>north', '/change_location:', 'North', '/end',
    '|location=North', 'You went north.', '/pause', '/get_input', '>>end', '/end_game', '/end', '',
  ].join('\n'));
  fs.writeFileSync(path.join(dir, 'credits.ostrel'), 'Bye.\n');
  const title = 'A <b>test</b> & "more"';
  const file = publishPage(dir, ['--force', '--title', title]);
  const {page, requests, errors} = await openPage(browser, file, 1000, false);
  check(await page.title() === title, 'the title given, escaped', await page.title());

  // The pace: the typed line's characters 46 ms apart. A key pressed while
  // it is typed is not shown, and answers the next key wait (the report's).
  await page.waitForFunction(() => window.__rows.some((r) => r[1].includes('The quick')),
                             {timeout: 10000});
  await page.keyboard.press('Z');
  await page.waitForFunction((t) => window.__rows.some((r) => r[1].includes(t)), {timeout: 10000},
                             paced);
  const rows = await page.evaluate(() => window.__rows);
  const shown = (r, n) => r[1].split('\n').some((l) => l.startsWith(paced.slice(0, n)));
  const first = rows.find((r) => shown(r, 1))[0];
  const last = rows.find((r) => shown(r, paced.length))[0];
  const perChar = (last - first) / (paced.length - 1);
  console.log(`typed line: ${perChar.toFixed(2)} ms a character (46 expected)`);
  check(Math.abs(perChar - 46) <= 46 * 0.05, 'the typing pace within 5%', perChar);

  // The error report in bright red, and the usual colour after it.
  await page.waitForFunction(() => document.body.dataset.input === 'word', {timeout: 10000});
  check(await screenShows(page, 'After the report.') && !(await screenText(page)).includes('Z'),
        'a key typed ahead is not shown and answers the key wait', await screenText(page));
  const colours = await page.evaluate(() => {
    const spans = Array.from(document.querySelectorAll('.xterm-rows span'));
    const report = spans.find((s) => s.textContent.includes('Error:'));
    return {report: report && [report.className, getComputedStyle(report).color]};
  });
  const red = colours.report && colours.report[1].match(/\d+/g).map(Number);
  check(colours.report && colours.report[0].includes('xterm-fg-9') && red[0] > 200 && red[1] < 120 &&
        red[2] < 120, 'the error report in bright red', JSON.stringify(colours));
  const after = await page.evaluate(() => {
    const row = Array.from(document.querySelectorAll('.xterm-rows > div'))
      .find((r) => r.textContent.includes('After the report.'));
    if (!row) return 'no row';
    const span = Array.from(row.querySelectorAll('span')).find((s) => s.textContent.includes('After'));
    return span ? span.className : 'unstyled';
  });
  check(after !== 'no row' && !/xterm-fg-/.test(after), 'the usual colour after the report', after);

  // The terminal follows the window's size.
  const size = () => page.evaluate(() => [document.querySelectorAll('.xterm-rows > div').length,
                                          document.querySelector('.xterm-screen').offsetWidth]);
  const before = await size();
  await page.setViewport({width: 1200, height: 900});
  await page.waitForFunction((n) => document.querySelectorAll('.xterm-rows > div').length > n,
                             {timeout: 5000}, before[0]).catch(() => {});
  const larger = await size();
  check(larger[0] > before[0] && larger[1] > before[1], 'the terminal follows the window',
        JSON.stringify([before, larger]));
  // On a phone held upright the screen is laid out again, the words whole,
  // the line the player types included; back on a wide screen, again.
  await page.keyboard.type('nor');
  await page.setViewport({width: 390, height: 844});
  await page.waitForFunction((t) => !document.querySelector('.xterm-rows').innerText.includes(t),
                             {timeout: 5000}, paced).catch(() => {});
  const phoneRows = await page.evaluate(() => Array.from(document.querySelectorAll('.xterm-rows > div'),
                                                          (r) => r.textContent.trimEnd()));
  const words = (lines) => lines.join(' ').split(/\s+/).filter((w) => w !== '');
  const from = phoneRows.findIndex((r) => r.startsWith('The quick'));
  check(from >= 0 && JSON.stringify(words(phoneRows.slice(from, from + 2))) ===
        JSON.stringify(words([paced])) && phoneRows.some((r) => r === '>nor'),
        'a line of the story wrapped at blanks on a phone', JSON.stringify(phoneRows.slice(0, 12)));
  await page.setViewport({width: 1200, height: 900});
  await page.waitForFunction((t) => document.querySelector('.xterm-rows').innerText.includes(t),
                             {timeout: 5000}, paced).catch(() => {});
  check(await screenShows(page, paced), 'and whole again on a wide screen', await screenText(page));
  for (let i = 0; i < 3; i++) await page.keyboard.press('Backspace');

  // Backspace in a line, an arrow key as one key at a key wait.
  await page.keyboard.type('nortx');
  await page.keyboard.press('Backspace');
  await page.keyboard.type('h');
  check(await screenShows(page, '>north') && !(await screenText(page)).includes('nortx'),
        'Backspace erases on the screen', await screenText(page));
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  await page.keyboard.press('ArrowUp');
  await page.waitForFunction(() => document.body.dataset.input === 'word', {timeout: 10000});
  await typeLine(page, 'end');
  await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  check(await screenShows(page, 'Bye.'), 'an arrow key is one key', await screenText(page));
  await page.keyboard.press('Space');
  await page.waitForFunction(() => document.body.dataset.input === 'ended', {timeout: 10000});
  check(requests.length === 1 && errors.length === 0, 'no request but the page, no error',
        JSON.stringify({requests, errors}));
  await page.close();
}

// A story that cannot go on: the run ends with status 1, and the page says
// so.
async function storyThatStops(browser) {
  const dir = path.join(work, 'stops');
  fs.mkdirSync(dir);
  fs.writeFileSync(path.join(dir, 'script.ostrel'),
                   '|start_location:\nA\n|location=A\n/change_location:\nA\n/end\n');
  const file = publishPage(dir, ['--force']);
  const {page} = await openPage(browser, file, 1000, true);
  await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  await page.keyboard.press('Space');
  await page.waitForFunction(() => document.body.dataset.input === 'ended', {timeout: 10000});
  const ended = await page.evaluate(() => document.getElementById('ended').textContent);
  check(ended === 'The story has stopped at an error.', 'a story that stops: said so', ended);
  await page.close();
}

// Text that is not ASCII: UTF-8 shown as it is, a byte that is not UTF-8
// shown as U+FFFD as a terminal shows it, and both kept in the transcript.
async function textNotAscii(browser) {
  const dir = path.join(work, 'utf8');
  fs.mkdirSync(dir);
  // The byte 0xff alone, between characters of two and four bytes.
  fs.writeFileSync(path.join(dir, 'title_screen.ostrel'),
                   Buffer.concat([Buffer.from('Caf\u00e9 \u{1F409} ['), Buffer.from([0xff]),
                                  Buffer.from('] [\u00e9\n')]));
  fs.writeFileSync(path.join(dir, 'script.ostrel'),
                   '|start_location:\nA\n|location=A\n\u00c9t\u00e9.\n/end_game\n/end\n');
  const file = publishPage(dir, []);
  const {page} = await openPage(browser, file, 1000, true);
  await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  await page.keyboard.press('Space');
  await page.waitForFunction(() => document.body.dataset.input === 'ended', {timeout: 10000});
  const expected = 'Caf\u00e9 \u{1F409} [\uFFFD] [\u00e9';
  check(await screenShows(page, expected), 'text not ASCII shown as a terminal shows it',
        JSON.stringify(await screenText(page)));
  const saved = await saveTranscript(page, 'downloads-utf8');
  check(saved !== null && saved.includes(expected) && saved.includes('\u00c9t\u00e9.'),
        'text not ASCII kept in the transcript', JSON.stringify(saved));
  await page.close();
}

async function main() {
  const options = {
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run'],
  };
  const browser = await puppeteer.launch({...options, userDataDir: path.join(work, 'profile')});
  try {
    await bundledStory(browser);
    await smallStory(browser);
    await storyThatStops(browser);
    await textNotAscii(browser);
    await readerTests(browser);
    await saveTests(browser, options);
  } catch (e) {
    counts.failures++;
    console.log(`FAILED: ${e.stack || e}`);
  } finally {
    await browser.close();
    fs.rmSync(work, {recursive: true, force: true});
  }
  console.log(`${counts.passes} passed, ${counts.failures} failed`);
  process.exit(counts.failures === 0 ? 0 : 1);
}

main();
