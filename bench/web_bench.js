// The browser build in each engine at 800 x 600: the whole intro, with for
// each scene the frames per second, and the median and worst main-thread
// time per frame and time between frames; how long after No the music
// starts, how far it is from the picture along the way and what it skipped
// to keep in step; then 20 s of the music while the page's thread stalls
// for 150 ms once a second, counting the times the music came too late for
// the device (with the AudioWorklet, and where the benchmark can hide it,
// with the ScriptProcessorNode); and the size of the page's files. Run by
// web_bench.sh:
//   node web_bench.js WEB_DIR WORK_DIR ENGINE...
'use strict';
const fs = require('fs');
const path = require('path');
const {serve, launch, waitFor, sleep} = require('../tests/e2e/support/browser.js');

const [webDir, work, ...engines] = process.argv.slice(2);
const RATE = 22.05;  // the music's frames per millisecond
const STALL_SECONDS = 20;

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(p * sorted.length))];
}

// Opens the page, answers No and waits until the music is heard.
async function start(browser, url, options) {
  const tab = await browser.open(url, options);
  await waitFor(tab, `window.brindlecStatus && brindlecStatus.state === 'question'`, 30000, 'the question');
  await tab.click('#dialog-no');
  await waitFor(tab, `brindlecStatus.heard > 0`, 20000, 'the music');
  return tab;
}

function sceneTable(log) {
  console.log('scene  frames    fps  main ms: median  worst   between frames ms: median  worst');
  for (let scene = 0; scene <= 4; scene++) {
    const frames = log.filter(frame => frame[1] === scene);
    if (frames.length < 2) continue;
    const main = frames.map(frame => frame[2]);
    const between = frames.slice(1).map((frame, i) => frame[3] - frames[i][3]);
    const seconds = (frames[frames.length - 1][3] - frames[0][3]) / 1000;
    console.log(`${String(scene).padStart(5)}  ${String(frames.length).padStart(6)}  ${((frames.length - 1) / seconds).toFixed(1).padStart(5)}` +
                `  ${percentile(main, 0.5).toFixed(2).padStart(14)}  ${Math.max(...main).toFixed(2).padStart(5)}` +
                `  ${percentile(between, 0.5).toFixed(1).padStart(24)}  ${Math.max(...between).toFixed(1).padStart(5)}`);
  }
  const slowest = [...log].sort((a, b) => b[2] - a[2]).slice(0, 5);
  console.log('slowest frames (main ms at intro ms, scene): ' +
              slowest.map(frame => `${frame[2].toFixed(1)} at ${frame[0]} (${frame[1]})`).join(', '));
}

// The whole intro, played as a viewer would.
async function wholeIntro(browser, base) {
  const tab = await start(browser, base + '/brindlec.html?bench');
  const [answered, heard, heardAt, device] =
    await tab.evaluate(`[brindlecStatus.answered, brindlecStatus.heard, brindlecStatus.heardAt, brindlecStatus.audio]`);
  const started = Date.now();
  while (await tab.evaluate(`brindlecStatus.state`) === 'playing') {
    await sleep(2000);
    process.stderr.write(`\r${((Date.now() - started) / 1000).toFixed(0)} s, intro at ` +
                         `${((await tab.evaluate('brindlecStatus.elapsed')) / 1000).toFixed(1)} s `);
  }
  process.stderr.write('\n');
  const [log, skipped] = await tab.evaluate(`[brindlecStatus.frameLog, brindlecStatus.skipped]`);
  await tab.close();

  sceneTable(log);
  console.log(`music (${device}) heard ${(heard - answered).toFixed(0)} ms after No, at ${heardAt} ms of the intro ` +
              `(it starts at 480 ms)`);
  // The music against the picture: the frames the device has played
  // (skips included), against the intro clock since the song's start.
  const songStart = log.find(frame => frame[0] >= 480);
  const last = log[log.length - 1];
  if (songStart) {
    const apart = at => {
      const frame = log.find(f => f[0] >= at) || last;
      return `${(frame[4] / RATE - (frame[0] - songStart[0])).toFixed(0)} at ${(frame[0] / 1000).toFixed(0)} s`;
    };
    console.log(`music against the picture (ms apart): ${[10000, 60000, 120000, 180000, last[0]].map(apart).join(', ')}; ` +
                `skipped to keep in step: ${(skipped / RATE).toFixed(0)} ms`);
  }
  const over = log.filter(frame => frame[2] > 30).length;
  console.log(`frames whose main-thread time exceeds 30 ms: ${over} of ${log.length}; intro ended at ${last[0]} ms`);
}

// The page's thread busy for 150 ms once a second, for STALL_SECONDS.
async function stalled(browser, base, device, options) {
  const tab = await start(browser, base + '/brindlec.html', options);
  const before = await tab.evaluate(`[brindlecStatus.late, brindlecStatus.played, brindlecStatus.audio, brindlecStatus.skipped]`);
  await tab.evaluate(`window.benchStalls = 0, window.benchStaller = setInterval(() => {
                        const until = performance.now() + 150;
                        while (performance.now() < until);
                        window.benchStalls++;
                      }, 1000), true`);
  await sleep(STALL_SECONDS * 1000);
  const after = await tab.evaluate(`clearInterval(window.benchStaller),
                                    [brindlecStatus.late, brindlecStatus.played, window.benchStalls, brindlecStatus.skipped]`);
  await tab.close();
  if (before[2] !== device) {
    console.log(`stalls: the music played through ${before[2]}, not ${device}`);
    return;
  }
  const played = (after[1] - before[1]) / RATE;
  console.log(`${after[2]} stalls of 150 ms, ${device}: ${after[0] - before[0]} times too late for the device; ` +
              `${played.toFixed(0)} ms of music played in ${STALL_SECONDS * 1000} ms, ` +
              `${((after[3] - before[3]) / RATE).toFixed(0)} ms of it skipped to keep in step`);
}

function sizes() {
  let total = 0;
  for (const name of ['brindlec.html', 'brindlec.js', 'brindlec.wasm']) {
    const size = fs.statSync(path.join(webDir, name)).size;
    total += size;
    console.log(`${name.padEnd(22)} ${String(size).padStart(7)} bytes`);
  }
  console.log(`${'together'.padEnd(22)} ${String(total).padStart(7)} bytes (${(total / 1024).toFixed(1)} KiB)`);
  const single = fs.statSync(path.join(webDir, 'brindlec-single.html')).size;
  console.log(`${'brindlec-single.html'.padEnd(22)} ${String(single).padStart(7)} bytes (${(single / 1024).toFixed(1)} KiB)`);
}

async function main() {
  const server = await serve(webDir);
  const base = `http://127.0.0.1:${server.address().port}`;
  for (const engine of engines) {
    console.log(`\n== ${engine}`);
    const browser = await launch(engine, work);
    try {
      await wholeIntro(browser, base);
      await stalled(browser, base, 'AudioWorklet');
      // WebDriver runs nothing before the page's own scripts.
      if (engine !== 'webkit')
        await stalled(browser, base, 'ScriptProcessorNode', {before: 'delete window.AudioWorkletNode'});
    } finally {
      await browser.close();
    }
  }
  server.close();
  console.log();
  sizes();
}

main().catch(error => {
  console.error('web_bench: ' + error.message);
  process.exit(1);
});
