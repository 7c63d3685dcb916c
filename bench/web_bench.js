// The browser build over the whole intro in headless chromium with WebGL
// on SwiftShader at 800 x 600: for each scene the frames per second, and
// the median and worst main-thread time per frame and time between frames;
// and the size of the page's files. Run by web_bench.sh:
//   node web_bench.js WEB_DIR WORK_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const {serve, launch, sleep} = require('../tests/e2e/support/browser.js');

const [webDir, work] = process.argv.slice(2);

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(p * sorted.length))];
}

async function main() {
  const server = await serve(webDir);
  const browser = await launch(work);
  const tab = await browser.open(`http://127.0.0.1:${server.address().port}/brindlec.html?bench`);
  await tab.waitFor(`window.brindlecStatus && brindlecStatus.state === 'question'`, 30000, 'the question');
  await tab.click('#dialog-no');
  const started = Date.now();
  while (await tab.evaluate(`brindlecStatus.state`) === 'playing') {
    await sleep(2000);
    process.stderr.write(`\r${((Date.now() - started) / 1000).toFixed(0)} s, intro at ` +
                         `${((await tab.evaluate('brindlecStatus.elapsed')) / 1000).toFixed(1)} s `);
  }
  process.stderr.write('\n');
  const log = await tab.evaluate(`brindlecStatus.frameLog`);
  await browser.close();
  server.close();

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
  // The music against the picture: the frames the audio callback has
  // handed over, against the intro clock since the song's start.
  const start = log.find(frame => frame[4] > 0);
  const last = log[log.length - 1];
  if (start) {
    const heard = last[4] / 22.05, shown = last[0] - start[0];
    console.log(`music at the last frame: ${heard.toFixed(0)} ms handed to the browser, ${shown} ms of the intro ` +
                `clock since it started (${(heard - shown).toFixed(0)} ms apart)`);
  }
  const over = log.filter(frame => frame[2] > 30).length;
  console.log(`frames whose main-thread time exceeds 30 ms: ${over} of ${log.length}; intro ended at ${log[log.length - 1][0]} ms`);
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

main().catch(error => {
  console.error('web_bench: ' + error.message);
  process.exit(1);
});
