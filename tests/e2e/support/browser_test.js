// The browser build in a real browser: the question, the window, the
// music, Esc and the end screen, Play again, full screen, stills at given moments
// against brindlec-capture's frames, the single file from file://, and a
// browser without WebGL. Run by browser.sh:
//   node browser_test.js WEB_DIR REFERENCE_DIR FRAME_DIFF WORK_DIR
'use strict';
const path = require('path');
const {execFileSync} = require('child_process');
const {serve, launch, sleep} = require('./browser.js');

const [webDir, referenceDir, frameDiff, work] = process.argv.slice(2);
const STILLS = [1000, 20000, 40000, 70000, 99000, 104000, 150000, 226000];
const QUESTION_CAPTION = 'FullScreen?';
const QUESTION_TEXT = 'Do you want to run Brindlec in FullScreen mode?\n\n' +
                      'Note: Windowed version is only recommanded for very old computers.';
const status = 'window.brindlecStatus';

function check(condition, message) {
  if (!condition) throw new Error(message);
}

// The share of pixels within 8/255 of the reference: frame_diff fails
// below 99 %.
function compare(shot, reference) {
  try {
    return execFileSync(frameDiff, ['--tolerance', '8', '--at-least', '0.99', reference, shot], {encoding: 'utf8'}).trim();
  } catch (error) {
    throw new Error('differs from brindlec-capture: ' + (error.stdout || '') + (error.stderr || ''));
  }
}

const shot = name => path.join(work, name + '.png');
const reference = ms => path.join(referenceDir, 'frame-' + ms + '.png');

// Question, No, the window with the title, the music, Esc, Play again.
async function windowedRun(browser, base) {
  const tab = await browser.open(base + '/brindlec.html');
  await tab.waitFor(`${status} && ${status}.state === 'question'`, 30000, 'the question');
  const shown = await tab.evaluate(`[document.getElementById('dialog').hidden,
                                     document.getElementById('dialog-caption').textContent,
                                     document.getElementById('dialog-text').textContent]`);
  check(!shown[0] && shown[1] === QUESTION_CAPTION && shown[2] === QUESTION_TEXT,
        'the question is not the intro\'s: ' + JSON.stringify(shown));
  console.log('ok: the question');

  await tab.click('#dialog-no');
  await tab.waitFor(`${status}.state === 'playing'`, 10000, 'the canvas');
  const size = await tab.evaluate(`(() => { const c = document.getElementById('brindlec-canvas');
                                            const r = c.getBoundingClientRect();
                                            return [c.width, c.height, r.width, r.height, !!document.fullscreenElement]; })()`);
  check(JSON.stringify(size) === '[800,600,800,600,false]', 'No gives ' + JSON.stringify(size) + ', not an 800 x 600 canvas');
  // "qvt71" stands still from 510 to 2099 ms: a screenshot then is the
  // capture's frame at 1000 ms.
  await tab.waitFor(`${status}.elapsed >= 600`, 10000, 'the title');
  const before = await tab.evaluate(`${status}.elapsed`);
  await tab.screenshot('#brindlec-canvas', shot('windowed-title'));
  const after = await tab.evaluate(`${status}.elapsed`);
  check(before >= 510 && after <= 2099, `the screenshot was not taken while the title showed (${before}..${after} ms)`);
  console.log('ok: No gives an 800 x 600 canvas with the title: ' + compare(shot('windowed-title'), reference(1000)));

  // The music starts at 480 ms; half a second of it later the page hears it.
  await tab.waitFor(`${status}.elapsed >= 1000 && ${status}.blocks > 0`, 10000, 'mixed blocks');
  const first = await tab.evaluate(`[${status}.blocks, ${status}.level]`);
  await sleep(600);
  const second = await tab.evaluate(`[${status}.blocks, ${status}.level, ${status}.elapsed]`);
  check(second[0] > first[0], `the mixed-block counter does not advance (${first[0]} then ${second[0]})`);
  check(second[1] > 0.01, `the music is silent at ${second[2]} ms (level ${second[1]})`);
  console.log(`ok: audio running, ${first[0]} then ${second[0]} blocks mixed, level ${second[1].toFixed(3)}`);

  await tab.key('Escape', 'Escape', 27);
  await tab.waitFor(`${status}.state === 'end' && !document.getElementById('ended').hidden`, 10000, 'the end screen');
  console.log('ok: Esc shows the end screen');

  await tab.click('#again');
  await tab.waitFor(`${status}.state === 'question' && !document.getElementById('dialog').hidden`, 30000,
                    'the question again');
  check(await tab.evaluate(`${status}.frames === 0 && !document.getElementById('brindlec-canvas')`),
        'Play again does not start afresh');
  console.log('ok: Play again starts from the question');

  // Yes: full screen at 1024 x 768; leaving full screen ends the intro.
  await tab.click('#dialog-yes');
  await tab.waitFor(`${status}.state === 'playing' && ${status}.elapsed > 200`, 10000, 'the full-screen run');
  const full = await tab.evaluate(`(() => { const c = document.getElementById('brindlec-canvas');
                                            return [c.width, c.height, document.fullscreenElement === c.parentElement]; })()`);
  check(JSON.stringify(full) === '[1024,768,true]', 'Yes gives ' + JSON.stringify(full) + ', not 1024 x 768 full screen');
  await tab.evaluate(`document.exitFullscreen()`);
  await tab.waitFor(`${status}.state === 'end' && !document.getElementById('ended').hidden`, 10000,
                    'the end after leaving full screen');
  console.log('ok: Yes plays 1024 x 768 full screen; leaving it ends the intro');

  // A context the browser takes away: a message instead of a dead canvas.
  await tab.click('#again');
  await tab.waitFor(`${status}.state === 'question'`, 30000, 'the question once more');
  await tab.click('#dialog-no');
  await tab.waitFor(`${status}.state === 'playing' && ${status}.elapsed > 200`, 10000, 'the run to lose');
  await tab.evaluate(`document.getElementById('brindlec-canvas').getContext('webgl')
                        .getExtension('WEBGL_lose_context').loseContext()`);
  await tab.waitFor(`${status}.state === 'end' && !document.getElementById('ended').hidden`, 10000,
                    'the end after the context was lost');
  const told = await tab.evaluate(`document.getElementById('ended-text').textContent`);
  check(/context lost/.test(told), 'no message for the lost context: ' + told);
  console.log('ok: a lost context ends the intro with a message');
  check(tab.errors.length === 0, 'errors in the page: ' + tab.errors.join('; '));
  await tab.close();
}

// ?at=MS against brindlec-capture's frame at MS; two tabs at a time.
async function stills(browser, base) {
  const one = async ms => {
    const tab = await browser.open(`${base}/brindlec.html?at=${ms}`);
    await tab.waitFor(`${status} && ${status}.state === 'still'`, 180000, `the still at ${ms} ms`);
    check(await tab.evaluate(`${status}.elapsed`) >= ms, `the still at ${ms} ms shows an earlier frame`);
    await tab.screenshot('#brindlec-canvas', shot('still-' + ms));
    check(tab.errors.length === 0, 'errors in the page: ' + tab.errors.join('; '));
    await tab.close();
    return compare(shot('still-' + ms), reference(ms));
  };
  for (let i = 0; i < STILLS.length; i += 2) {
    const results = await Promise.all(STILLS.slice(i, i + 2).map(one));
    for (const result of results) console.log('ok: still ' + path.basename(result.split(' ')[1]) + ' ' + result.split(' ')[2]);
  }
}

async function singleFile(browser) {
  const url = 'file://' + path.join(webDir, 'brindlec-single.html') + '?at=4000';
  const tab = await browser.open(url);
  await tab.waitFor(`${status} && ${status}.state === 'still'`, 60000, 'the single file\'s still');
  await tab.screenshot('#brindlec-canvas', shot('single-4000'));
  check(tab.errors.length === 0, 'errors in the page: ' + tab.errors.join('; '));
  console.log('ok: brindlec-single.html from file:// shows the title: ' + compare(shot('single-4000'), reference(4000)));
  await tab.close();
}

async function withoutWebgl(base) {
  const browser = await launch(work, ['--disable-webgl']);
  try {
    const tab = await browser.open(base + '/brindlec.html');
    await tab.waitFor(`${status} && ${status}.state === 'failed'`, 30000, 'the page to give up');
    const shown = await tab.evaluate(`[${status}.problem, document.getElementById('ended').hidden,
                                       document.getElementById('ended-text').textContent]`);
    check(/WebGL/.test(shown[0]) && !shown[1] && shown[2] === shown[0], 'no clear message: ' + JSON.stringify(shown));
    await sleep(300);
    check(tab.errors.length === 0, 'errors in the page: ' + tab.errors.join('; '));
    console.log('ok: without WebGL the page says so: "' + shown[0] + '"');
  } finally {
    await browser.close();
  }
}

async function main() {
  const server = await serve(webDir);
  const base = 'http://127.0.0.1:' + server.address().port;
  const browser = await launch(work);
  try {
    await windowedRun(browser, base);
    await stills(browser, base);
    await singleFile(browser);
  } finally {
    await browser.close();
  }
  await withoutWebgl(base);
  server.close();
}

main().then(() => process.exit(0), error => {
  console.error('FAIL: ' + error.message);
  process.exit(1);
});
