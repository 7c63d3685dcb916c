// Drives Debian's chromium, headless with WebGL on SwiftShader, over the
// DevTools protocol (Debian's node-ws), for the browser test and the
// browser benchmark: a static server on 127.0.0.1, tabs, real mouse and
// key input, screenshots, and every uncaught error a page throws.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const {spawn} = require('child_process');
const WebSocket = require('ws');

const CONTENT_TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm'};

// Serves `root` on 127.0.0.1 at a free port; resolves with the server.
function serve(root) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    const file = path.join(root, path.normalize(name));
    if (!file.startsWith(root + path.sep)) {
      response.writeHead(403).end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, {'Content-Type': CONTENT_TYPES[path.extname(file)] || 'application/octet-stream'});
      response.end(data);
    });
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// A chromium of its own (own profile, own DevTools port) with `flags` added.
async function launch(work, flags = []) {
  const profile = fs.mkdtempSync(path.join(work, 'profile-'));
  const args = ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                '--remote-debugging-port=0', '--user-data-dir=' + profile, '--window-size=1024,768',
                '--no-first-run', '--no-default-browser-check', '--mute-audio', ...flags, 'about:blank'];
  const child = spawn('chromium', args, {stdio: ['ignore', 'ignore', 'ignore']});
  const portFile = path.join(profile, 'DevToolsActivePort');
  for (let i = 0; i < 300 && !fs.existsSync(portFile); i++) await sleep(100);
  if (!fs.existsSync(portFile)) {
    child.kill();
    throw new Error('chromium did not open its DevTools port');
  }
  await sleep(100);  // the file is written in one go, but let it land
  const [port, endpoint] = fs.readFileSync(portFile, 'utf8').trim().split('\n');
  const socket = new WebSocket('ws://127.0.0.1:' + port + endpoint, {perMessageDeflate: false});
  await new Promise((resolve, reject) => {
    socket.once('open', resolve);
    socket.once('error', reject);
  });
  return new Browser(child, socket);
}

class Browser {
  constructor(child, socket) {
    this.child = child;
    this.socket = socket;
    this.next = 0;
    this.pending = new Map();
    this.listeners = new Set();
    socket.on('message', data => {
      const message = JSON.parse(data);
      if (message.id !== undefined) {
        const waiting = this.pending.get(message.id);
        this.pending.delete(message.id);
        if (message.error) waiting.reject(new Error(waiting.method + ': ' + message.error.message));
        else waiting.resolve(message.result);
      } else {
        for (const listener of this.listeners) listener(message);
      }
    });
  }

  send(method, params = {}, sessionId = undefined) {
    const id = ++this.next;
    this.socket.send(JSON.stringify({id, method, params, sessionId}));
    return new Promise((resolve, reject) => this.pending.set(id, {resolve, reject, method}));
  }

  // A new tab showing `url`, its errors collected from the start.
  async open(url) {
    const {targetId} = await this.send('Target.createTarget', {url: 'about:blank'});
    const {sessionId} = await this.send('Target.attachToTarget', {targetId, flatten: true});
    const tab = new Tab(this, sessionId);
    await tab.send('Runtime.enable');
    await tab.send('Page.enable');
    await tab.send('Emulation.setDeviceMetricsOverride', {width: 1024, height: 768, deviceScaleFactor: 1, mobile: false});
    await tab.send('Page.navigate', {url});
    return tab;
  }

  async close() {
    try {
      await this.send('Browser.close');
    } catch (error) {
      // already gone
    }
    this.socket.close();
    await new Promise(resolve => {
      if (this.child.exitCode !== null) resolve();
      else this.child.once('exit', resolve);
      setTimeout(() => { this.child.kill('SIGKILL'); resolve(); }, 5000);
    });
  }
}

class Tab {
  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.errors = [];  // uncaught exceptions and console errors
    browser.listeners.add(message => {
      if (message.sessionId !== sessionId) return;
      if (message.method === 'Runtime.exceptionThrown') {
        const details = message.params.exceptionDetails;
        this.errors.push('uncaught: ' + (details.exception ? details.exception.description : details.text));
      } else if (message.method === 'Runtime.consoleAPICalled' && message.params.type === 'error') {
        this.errors.push('console.error: ' + message.params.args.map(a => a.value || a.description).join(' '));
      }
    });
  }

  send(method, params = {}) {
    return this.browser.send(method, params, this.sessionId);
  }

  async evaluate(expression) {
    const result = await this.send('Runtime.evaluate', {expression, returnByValue: true, awaitPromise: true});
    if (result.exceptionDetails) throw new Error('page: ' + result.exceptionDetails.text + ' in ' + expression);
    return result.result.value;
  }

  // Polls `expression` until it is truthy; its last value otherwise.
  async waitFor(expression, timeoutMs, what) {
    const until = Date.now() + timeoutMs;
    let value;
    while (Date.now() < until) {
      try {
        value = await this.evaluate(expression);
      } catch (error) {
        value = undefined;  // the page is still loading
      }
      if (value) return value;
      await sleep(50);
    }
    throw new Error('timed out waiting for ' + what + ' (' + expression + ')');
  }

  async centre(selector) {
    return this.evaluate(`(() => { const r = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
                                   return [r.x + r.width / 2, r.y + r.height / 2]; })()`);
  }

  // A real click: trusted input, the gesture a page needs for sound.
  async click(selector) {
    const [x, y] = await this.centre(selector);
    for (const type of ['mousePressed', 'mouseReleased'])
      await this.send('Input.dispatchMouseEvent', {type, x, y, button: 'left', clickCount: 1});
  }

  async key(key, code, keyCode) {
    for (const type of ['keyDown', 'keyUp'])
      await this.send('Input.dispatchKeyEvent', {type, key, code, windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode});
  }

  // The pixels of `selector` as the page shows them, as a PNG file.
  async screenshot(selector, file) {
    const rect = await this.evaluate(`(() => { const r = document.querySelector(${JSON.stringify(selector)}).getBoundingClientRect();
                                               return [r.x, r.y, r.width, r.height]; })()`);
    const [x, y, width, height] = rect;
    const shot = await this.send('Page.captureScreenshot', {format: 'png', clip: {x, y, width, height, scale: 1}});
    fs.writeFileSync(file, Buffer.from(shot.data, 'base64'));
    return {width, height};
  }

  async close() {
    await this.browser.send('Target.closeTarget', {targetId: (await this.send('Target.getTargetInfo')).targetInfo.targetId});
  }
}

module.exports = {serve, launch, sleep};
