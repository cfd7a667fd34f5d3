// The published page on a phone and for every reader, in headless Chromium:
// the text's size, whole words and nothing scrolling sideways at two phone
// sizes, art kept whole, the prompt above the on-screen keyboard; the
// Settings (text size, theme, instant text) and their keeping; instant text's
// pace; both themes with axe-core at phone and desktop sizes; --lang.
'use strict';
const fs = require('fs');
const path = require('path');
const {storyDir, work, check, publishPage, openPage, nextAsk, saveTranscript} =
  require('./browser_util.js');

const PHONES = [{width: 390, height: 844}, {width: 360, height: 640}];
const DESKTOP = {width: 1280, height: 800};
const SETTINGS_KEY = 'ostrel-settings';
const AXE = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

const words = (lines) => lines.join(' ').split(/\s+/).filter((w) => w !== '');
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// What the terminal shows: its rows, its columns and the size of its letters.
function terminalState(page) {
  return page.evaluate(() => {
    const measure = document.querySelector('.xterm-char-measure-element');
    const cell = measure.getBoundingClientRect().width / measure.textContent.length;
    return {
      rows: Array.from(document.querySelectorAll('.xterm-rows > div'), (r) => r.textContent.trimEnd()),
      cols: Math.round(document.querySelector('.xterm-screen').getBoundingClientRect().width / cell),
      fontSize: parseFloat(getComputedStyle(document.querySelector('.xterm-rows')).fontSize),
    };
  });
}

// What reaches past the window's right edge, or scrolls sideways.
function sideways(page) {
  return page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const found = [];
    if (document.documentElement.scrollWidth > width) found.push(`the page, ${document.documentElement.scrollWidth} px`);
    for (const e of document.querySelectorAll('body *')) {
      const box = e.getBoundingClientRect();
      const style = getComputedStyle(e);
      if (box.width > 0 && box.right > width + 0.5 && style.visibility !== 'hidden') {
        found.push(`${e.tagName}.${e.className} to ${box.right} px`);
      }
      if (e.scrollWidth > e.clientWidth + 1 && /auto|scroll/.test(style.overflowX)) {
        found.push(`${e.tagName}.${e.className} scrolls`);
      }
    }
    return found;
  });
}

// True when the cursor's row is on the screen, above whatever covers the
// lower part of the window.
function cursorInSight(page) {
  return page.evaluate(() => {
    const cursor = document.querySelector('.xterm-rows .xterm-cursor');
    if (!cursor) return false;
    const box = cursor.getBoundingClientRect();
    const visible = window.visualViewport ? window.visualViewport.height : window.innerHeight;
    return box.top >= 0 && box.bottom <= visible;
  });
}

// The colour of the error report on the screen, and the terminal's
// background, as [r, g, b].
function reportColours(page) {
  return page.evaluate(() => {
    const rgb = (c) => c.match(/\d+/g).slice(0, 3).map(Number);
    const span = Array.from(document.querySelectorAll('.xterm-rows span')).find((s) => s.textContent.includes('Error:'));
    const back = getComputedStyle(document.querySelector('.xterm-viewport')).backgroundColor;
    return span ? {red: rgb(getComputedStyle(span).color), back: rgb(back)} : null;
  });
}

function contrast(a, b) {
  const luminance = (c) => {
    const [r, g, bl] = c.map((v) => {
      v /= 255;
      return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4);
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  };
  const [hi, lo] = [luminance(a), luminance(b)].sort((x, y) => y - x);
  return (hi + 0.05) / (lo + 0.05);
}

async function axeViolations(page) {
  await page.evaluate(AXE);
  return page.evaluate(async () => {
    const result = await window.axe.run(document);
    return result.violations.map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join('; ')}`);
  });
}

// Waits until a row of the screen shows `text`.
function rowsShow(page, text) {
  return page.waitForFunction((t) => Array.from(document.querySelectorAll('.xterm-rows > div'))
    .some((r) => r.textContent.includes(t)), {timeout: 10000}, text).catch(() => {});
}

const settingsShown = (page) => page.evaluate(() => ({
  fontSize: parseFloat(getComputedStyle(document.querySelector('.xterm-rows')).fontSize),
  theme: document.documentElement.dataset.theme,
  instant: document.getElementById('instant').checked,
  size: document.getElementById('size').textContent,
}));

// 1. The bundled story on a phone, up to its first location.
async function onPhone(browser, file, viewport) {
  const name = `${viewport.width}x${viewport.height}`;
  const {page, errors} = await openPage(browser, file, 1000, true,
                                        {viewport: {...viewport, isMobile: true, hasTouch: true}});
  let asks = 0;
  let kind;
  [kind, asks] = await nextAsk(page, asks);
  // The title's art: every line of it whole on a row, in letters just small
  // enough.
  const art = fs.readFileSync(path.join(storyDir, 'title_screen.ostrel'), 'utf8').split('\n')
    .filter((l) => /\S(\s{3,}|\t)\S/.test(l));
  await rowsShow(page, art[0].trim());
  const title = await terminalState(page);
  check(art.length > 0 && art.every((l) => title.rows.includes(l.trimEnd())),
        `${name}: the title's art whole`, JSON.stringify(title.rows.slice(0, 6)));
  // Up to the first location, where the player is asked for a word.
  while (kind === 'key') {
    await page.keyboard.press('Space');
    [kind, asks] = await nextAsk(page, asks);
  }
  // Every word of the first location as the engine wrote it (what the
  // screen reader hears), in order, whole on the rows of the screen.
  const script = fs.readFileSync(path.join(storyDir, 'script.ostrel'), 'utf8');
  const heading = (script.match(/\|location=Square\n\/clear\n([^\n]+)\n/) || [0, 'no heading'])[1];
  await rowsShow(page, heading);
  const shown = await terminalState(page);
  const heard = await page.evaluate(() => Array.from(document.querySelectorAll('#transcript p'), (p) => p.textContent));
  const written = heard.slice(heard.lastIndexOf(heading));
  const rows = shown.rows.slice(shown.rows.indexOf(heading));
  const longest = Math.max(...written.map((l) => l.length));
  console.log(`${name}: story text ${shown.fontSize} px, ${shown.cols} columns, ${shown.rows.length} rows; ` +
              `the title's art in ${title.fontSize} px letters, ${title.cols} columns`);
  check(shown.fontSize >= 14, `${name}: text at least 14 px`, shown.fontSize);
  check(written.length > 2 && longest > shown.cols && same(words(rows), words(written)) &&
        rows.every((r) => r.length <= shown.cols),
        `${name}: every word of the location whole on the screen`, JSON.stringify({written, rows}));
  check(same(await sideways(page), []), `${name}: nothing scrolls sideways`, await sideways(page));
  check(await cursorInSight(page), `${name}: the prompt in sight`);
  // An on-screen keyboard takes the lower half of the screen.
  await page.setViewport({...viewport, height: Math.round(viewport.height / 2), isMobile: true, hasTouch: true});
  await page.waitForFunction(() => document.body.getBoundingClientRect().height <= window.innerHeight,
                             {timeout: 5000}).catch(() => {});
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  check(await cursorInSight(page), `${name}: the prompt in sight above a keyboard`);
  check(same(words((await terminalState(page)).rows.slice(-3)), words(rows.slice(-3))),
        `${name}: the same rows above a keyboard`, JSON.stringify((await terminalState(page)).rows.slice(-3)));
  check(errors.length === 0, `${name}: no error`, JSON.stringify(errors));
  await page.close();
}

// 2. The settings: one control, by keyboard, each setting kept for every
// story; storage that refuses costs nothing but the keeping.
async function settings(browser, file, otherFile) {
  const {page, errors} = await openPage(browser, file, 1000, true, {viewport: DESKTOP});
  await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  const tree = await page.accessibility.snapshot();
  const named = [];
  const walk = (node) => {
    if (node.name === 'Settings' && node.role === 'button') named.push(node);
    (node.children || []).forEach(walk);
  };
  walk(tree);
  check(named.length === 1, 'one button named Settings', JSON.stringify(named));
  let reached = false;
  for (let i = 0; i < 5 && !reached; i++) {
    await page.keyboard.press('Tab');
    reached = await page.evaluate(() => document.activeElement.id === 'open-settings');
  }
  check(reached, 'Settings reached from the story with Tab');
  await page.keyboard.press('Enter');
  const opened = await page.evaluate(() => document.getElementById('settings').open &&
                                     document.getElementById('settings').contains(document.activeElement));
  check(opened, 'Enter opens the settings, the keyboard in them');
  check(same(await settingsShown(page), {fontSize: 16, theme: 'dark', instant: false, size: '16 px'}),
        'at first: 16 px, dark as the system asks, typed out', JSON.stringify(await settingsShown(page)));
  await page.click('#larger');
  await page.click('#larger');
  await page.click('#smaller');
  await page.click('#larger');
  await page.click('input[name="theme"][value="light"]');
  await page.click('#instant');
  const changed = await settingsShown(page);
  check(same(changed, {fontSize: 20, theme: 'light', instant: true, size: '20 px'}),
        'larger, smaller, light, instant text: at once', JSON.stringify(changed));
  await page.keyboard.press('Escape');
  const back = await page.waitForFunction(() => !document.getElementById('settings').open &&
                                          document.activeElement.classList.contains('xterm-helper-textarea'),
                                          {timeout: 5000}).then(() => true, () => false);
  check(back, 'Escape closes them, back to the story',
        await page.evaluate(() => [document.getElementById('settings').open, document.activeElement.outerHTML.slice(0, 80)]));
  await page.reload();
  await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  check(same(await settingsShown(page), changed), 'each setting kept after a reload',
        JSON.stringify(await settingsShown(page)));
  const other = await openPage(browser, otherFile, 1000, true, {viewport: DESKTOP});
  check(same(await settingsShown(other.page), changed), 'and in another story',
        JSON.stringify(await settingsShown(other.page)));
  await other.page.evaluate((key) => localStorage.removeItem(key), SETTINGS_KEY);
  await other.page.close();
  check(errors.length === 0, 'settings: no error', JSON.stringify(errors));
  await page.close();

  // Storage that throws at every call: the story plays, the settings work.
  const refusing = await browser.newPage();
  const refusals = [];
  refusing.on('pageerror', (e) => refusals.push(e.message));
  await refusing.evaluateOnNewDocument(() => {
    Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('denied', 'SecurityError'); }});
  });
  await refusing.emulateMediaFeatures([{name: 'prefers-color-scheme', value: 'dark'}]);
  await refusing.goto('file://' + file);
  await refusing.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000}).catch(() => {});
  await refusing.click('#open-settings');
  await refusing.click('#larger');
  check(refusals.length === 0 && (await settingsShown(refusing)).fontSize === 18,
        'storage that refuses: the page plays and its settings work', JSON.stringify(refusals));
  // Larger by keyboard to the largest: the keyboard goes on to Smaller.
  for (let i = 0; i < 10 && await refusing.evaluate(() => document.activeElement.id) === 'larger'; i++) {
    await refusing.keyboard.press('Enter');
  }
  check(await refusing.evaluate(() => document.activeElement.id) === 'smaller' &&
        (await settingsShown(refusing)).size === '32 px', 'at the largest size, the keyboard on Smaller',
        JSON.stringify(await settingsShown(refusing)));
  await refusing.close();
}

// 3. Instant text: each line of a dialog at once, the story's /wait: kept,
// and from the next line when turned on in the middle of a dialog; what the
// screen reader hears and the transcript as when typed out.
async function instantText(browser, file) {
  const timing = async (page, text) => page.evaluate((t) => {
    const entry = window.__rows.find((r) => r[1].includes(t));
    return entry ? entry[0] : null;
  }, text);
  const waitFor = (page, text) => page.waitForFunction((t) => window.__rows.some((r) => r[1].includes(t)),
                                                       {timeout: 15000}, text);
  const instant = await openPage(browser, file, 1000, false);
  await instant.page.evaluate((key) => localStorage.setItem(key, JSON.stringify({instant: true})), SETTINGS_KEY);
  await instant.page.reload();
  await waitFor(instant.page, 'After the wait');
  const start = await timing(instant.page, INSTANT_LINES[0].slice(0, 9));
  const whole = await timing(instant.page, INSTANT_LINES[2]);
  const after = await timing(instant.page, 'After the wait');
  console.log(`instant text: three lines whole in ${(whole - start).toFixed(0)} ms, ` +
              `the story's wait of 600 ms kept: ${(after - whole).toFixed(0)} ms`);
  check(whole - start < 300, 'instant text: a dialog whole in well under a second', whole - start);
  check(after - whole >= 500, 'instant text: the story\'s /wait: kept', after - whole);
  await instant.page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
  const heardInstant = await instant.page.evaluate(() => Array.from(document.querySelectorAll('#transcript p'), (p) => p.textContent));
  const savedInstant = await saveTranscript(instant.page, 'instant');
  await instant.page.evaluate((key) => localStorage.removeItem(key), SETTINGS_KEY);
  await instant.page.close();

  const typed = await openPage(browser, file, 1000, true);
  await typed.page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 15000});
  const heardTyped = await typed.page.evaluate(() => Array.from(document.querySelectorAll('#transcript p'), (p) => p.textContent));
  const savedTyped = await saveTranscript(typed.page, 'typed');
  check(same(heardInstant, heardTyped) && heardTyped.length >= 4, 'instant text: the screen reader hears the same lines',
        JSON.stringify([heardInstant, heardTyped]));
  check(savedInstant !== null && savedInstant === savedTyped, 'instant text: the same transcript',
        JSON.stringify([savedInstant, savedTyped]));
  await typed.page.close();

  // Turned on while the first line is typed: the lines after it at once.
  const midway = await openPage(browser, file, 1000, false, {viewport: DESKTOP});
  await waitFor(midway.page, INSTANT_LINES[0].slice(0, 3));
  await midway.page.click('#open-settings');
  await midway.page.click('#instant');
  await midway.page.keyboard.press('Escape');
  await waitFor(midway.page, INSTANT_LINES[2]);
  const began = await timing(midway.page, INSTANT_LINES[0].slice(0, 3));
  const firstDone = await timing(midway.page, INSTANT_LINES[0]);
  const lastDone = await timing(midway.page, INSTANT_LINES[2]);
  check(firstDone - began > 46 * (INSTANT_LINES[0].length - 10) && lastDone - firstDone < 500,
        'instant text turned on in a dialog: from its next line', JSON.stringify([began, firstDone, lastDone]));
  await midway.page.evaluate((key) => localStorage.removeItem(key), SETTINGS_KEY);
  await midway.page.close();
}

const INSTANT_LINES = [
  'The first line of the letter is long enough to take seconds to type out.',
  'The second line follows it, and at once when the text is instant.',
  'The third line ends the first part of the letter.',
];

function publishInstantStory() {
  const dir = path.join(work, 'letter');
  fs.mkdirSync(dir, {recursive: true});
  fs.writeFileSync(path.join(dir, 'script.ostrel'), ['|start_dialog:', 'Letter', '|dialog=Letter',
    ...INSTANT_LINES, '/wait:', '600', 'After the wait, the last line.', '/change_location:', 'End', '/end',
    '|location=End', '/pause', '/end_game', '/end', ''].join('\n'));
  return publishPage(dir, ['--force']);
}

// 4. Both themes at a phone's size and a desktop's, with a report on the
// screen, with the settings open, with Undo enabled and with Start over's
// question: axe-core finds nothing, and the report is plainly red.
async function themes(browser, file) {
  for (const viewport of [PHONES[0], DESKTOP]) {
    for (const scheme of ['dark', 'light']) {
      const name = `${scheme} at ${viewport.width}x${viewport.height}`;
      const {page, errors} = await openPage(browser, file, 1000, true, {scheme, viewport});
      await page.waitForFunction(() => document.body.dataset.input === 'key', {timeout: 10000});
      check(await page.evaluate(() => document.documentElement.dataset.theme) === scheme,
            `${name}: the theme the system asks for`);
      // The terminal draws the report a frame after the engine wrote it.
      await page.waitForFunction(() => Array.from(document.querySelectorAll('.xterm-rows span'))
        .some((s) => s.textContent.includes('Error:')), {timeout: 5000}).catch(() => {});
      const colours = await reportColours(page);
      const ratio = colours && contrast(colours.red, colours.back);
      check(colours && colours.red[0] > 150 && colours.red[1] < 100 && colours.red[2] < 100 && ratio >= 4.5,
            `${name}: the error report plainly red, contrast ${ratio && ratio.toFixed(1)}`, JSON.stringify(colours));
      const violations = await axeViolations(page);
      check(violations.length === 0, `${name}: axe-core finds nothing`, violations.join('\n  '));
      await page.click('#open-settings');
      const inDialog = await axeViolations(page);
      check(inDialog.length === 0, `${name}, the settings open: axe-core finds nothing`, inDialog.join('\n  '));
      await page.keyboard.press('Escape');
      // An answer to undo, then Start over's question.
      await page.keyboard.type('nowhere\n');
      await page.waitForFunction(() => !document.getElementById('undo').disabled, {timeout: 10000}).catch(() => {});
      const withUndo = await axeViolations(page);
      check(withUndo.length === 0, `${name}, Undo enabled: axe-core finds nothing`, withUndo.join('\n  '));
      await page.click('#start-over');
      const asking = await axeViolations(page);
      check(asking.length === 0 && await page.evaluate(() => document.getElementById('confirm-start-over').open),
            `${name}, Start over asking: axe-core finds nothing`, asking.join('\n  '));
      check(errors.length === 0, `${name}: no error`, JSON.stringify(errors));
      await page.close();
    }
  }
}

async function readerTests(browser) {
  const crown = publishPage(storyDir, []);
  for (const viewport of PHONES) await onPhone(browser, crown, viewport);

  const dir = path.join(work, 'report');
  fs.mkdirSync(dir);
  fs.writeFileSync(path.join(dir, 'script.ostrel'), ['|start_location:', 'Hall', '|location=Hall',
    'The hall, where a report is shown.', '/if:', 'Bogus:', '/end_if', '/get_input', '>>end', '/end_game',
    '/end', ''].join('\n'));
  const report = publishPage(dir, ['--force', '--lang', 'fr']);
  check(await langOf(browser, report) === 'fr' && await langOf(browser, crown) === 'en',
        '--lang sets the page\'s language, en by default');
  await settings(browser, crown, report);
  await instantText(browser, publishInstantStory());
  await themes(browser, report);
}

async function langOf(browser, file) {
  const page = await browser.newPage();
  await page.goto('file://' + file);
  const lang = await page.evaluate(() => document.documentElement.lang);
  await page.close();
  return lang;
}

module.exports = {readerTests};
