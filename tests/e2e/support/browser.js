// Drives the three browser engines for the browser test and the browser
// benchmark, all through one small interface (Tab): Chromium, headless
// with WebGL on SwiftShader, and Firefox ESR, both through puppeteer-core;
// WebKitGTK's MiniBrowser over W3C WebDriver (WebKitWebDriver). Firefox
// and WebKitGTK need the X display and the sound server the calling
// script started. Also: a static server on 127.0.0.1 that notes every
// request it cannot answer.
'use strict';
const fs = require('fs');
const http = require('http');
const net = require('net');
const path = require('path');
const {spawn} = require('child_process');
const puppeteer = require('puppeteer-core');

const CONTENT_TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm'};
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// Put first into every page the tests open: the page's own record of its
// uncaught errors, refused promises, failed loads and console errors, which
// every engine can be asked for (WebDriver has no console of its own).
const ERROR_CAPTURE = `<script>(() => {
  const errors = window.pageErrors = [];
  addEventListener('error', e => errors.push('uncaught: ' + (e.message || 'no ' + (e.target.src || e.target.href))), true);
  addEventListener('unhandledrejection', e => errors.push('refused: ' + e.reason));
  const error = console.error.bind(console);
  console.error = (...parts) => { errors.push('console.error: ' + parts.join(' ')); error(...parts); };
})();</script>`;
const withErrorCapture = html => html.replace('<head>', '<head>\n' + ERROR_CAPTURE);

// Serves `root` on 127.0.0.1 at a free port, its pages with the error
// capture; `server.failed` lists the requests it could not answer.
function serve(root) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    const file = path.join(root, path.normalize(name));
    const refuse = status => {
      server.failed.push(status + ' ' + request.url);
      response.writeHead(status).end();
    };
    if (!file.startsWith(root + path.sep)) return refuse(403);
    fs.readFile(file, (error, data) => {
      if (error) return refuse(404);
      const type = CONTENT_TYPES[path.extname(file)] || 'application/octet-stream';
      response.writeHead(200, {'Content-Type': type});
      response.end(type === 'text/html' ? withErrorCapture(data.toString()) : data);
    });
  });
  server.failed = [];
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// --- Chromium and Firefox: puppeteer-core ---------------------------------------

const DESKTOP = {width: 1024, height: 768};

class PuppeteerTab {
  constructor(page) {
    this.page = page;
    this.events = [];  // what the engine itself reports: errors and failed requests
    page.on('pageerror', error => this.events.push('uncaught: ' + error.message));
    page.on('console', message => {
      if (message.type() === 'error') this.events.push('console.error: ' + message.text());
    });
    page.on('requestfailed', request => this.events.push('request failed: ' + request.url()));
    page.on('response', response => {
      if (response.status() >= 400) this.events.push(response.status() + ' ' + response.url());
    });
  }
  evaluate(expression) { return this.page.evaluate(expression); }
  click(selector) { return this.page.click(selector); }
  tap(selector) { return this.page.tap(selector); }
  escape() { return this.page.keyboard.press('Escape'); }
  async screenshot(selector, file) { await (await this.page.$(selector)).screenshot({path: file}); }
  async errors() { return [...this.events, ...(await this.evaluate('window.pageErrors || []'))]; }
  close() { return this.page.close(); }
}

async function launchPuppeteer(engine, work, flags) {
  const userDataDir = fs.mkdtempSync(path.join(work, engine + '-profile-'));
  const options = engine === 'chromium' ? {
    executablePath: '/usr/bin/chromium', headless: true, userDataDir,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--mute-audio',
           '--no-first-run', '--no-default-browser-check', ...flags],
  } : {
    browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: false, userDataDir,
    args: ['--width=1100', '--height=900', ...flags],
  };
  const browser = await puppeteer.launch({...options, defaultViewport: DESKTOP, protocolTimeout: 300000});
  return {
    engine,
    // A new tab showing `url`; `before` runs first in every document it loads.
    async open(url, {viewport = DESKTOP, before = null} = {}) {
      const page = await browser.newPage();
      const tab = new PuppeteerTab(page);  // listening from the start
      await page.setViewport(viewport);
      if (before) await page.evaluateOnNewDocument(before);
      await page.goto(url);
      return tab;
    },
    close: () => browser.close(),
  };
}

// --- WebKitGTK: W3C WebDriver --------------------------------------------------

const MINIBROWSER = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const ESCAPE_KEY = '\uE00C';

function freePort() {
  return new Promise(resolve => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const {port} = server.address();
      server.close(() => resolve(port));
    });
  });
}

// One WebDriver command; its value, or an Error with the driver's message.
async function command(port, method, route, body) {
  const response = await fetch(`http://127.0.0.1:${port}${route}`, {
    method, headers: {'Content-Type': 'application/json'}, body: body === undefined ? undefined : JSON.stringify(body)});
  const text = await response.text();
  let value;
  try {
    value = JSON.parse(text).value;
  } catch (error) {
    throw new Error(`${method} ${route}: ${text.slice(0, 200)}`);
  }
  if (response.status >= 400) throw new Error(`${method} ${route}: ${value && value.message}`);
  return value;
}

class WebDriverTab {
  constructor(port, session) {
    this.port = port;
    this.base = '/session/' + session;
  }
  send(method, route, body) { return command(this.port, method, this.base + route, body); }
  evaluate(expression) { return this.send('POST', '/execute/sync', {script: `return (${expression});`, args: []}); }
  async element(selector) {
    const found = await this.send('POST', '/element', {using: 'css selector', value: selector});
    return Object.values(found)[0];
  }
  async click(selector) { await this.send('POST', `/element/${await this.element(selector)}/click`, {}); }
  async escape() {
    await this.send('POST', '/actions', {actions: [{type: 'key', id: 'keyboard', actions: [
      {type: 'keyDown', value: ESCAPE_KEY}, {type: 'keyUp', value: ESCAPE_KEY}]}]});
  }
  async screenshot(selector, file) {
    const png = await this.send('GET', `/element/${await this.element(selector)}/screenshot`);
    fs.writeFileSync(file, Buffer.from(png, 'base64'));
  }
  errors() { return this.evaluate('window.pageErrors || []'); }
  close() { return this.send('DELETE', ''); }
}

async function launchWebKit(work) {
  const port = await freePort();
  const driver = spawn('WebKitWebDriver', ['--port=' + port], {stdio: ['ignore', 'ignore', 'ignore']});
  const ended = () => driver.kill();
  process.on('exit', ended);
  let opened = 0;
  return {
    engine: 'webkit',
    // One MiniBrowser window per tab; a tab is its WebDriver session.
    async open(url) {
      const capabilities = {alwaysMatch: {'webkitgtk:browserOptions': {binary: MINIBROWSER, args: ['--automation']}}};
      let session;
      for (let tries = 0; !session; tries++) {
        session = await command(port, 'POST', '/session', {capabilities}).catch(async error => {
          if (tries >= 100 || opened > 0) throw error;
          await sleep(100);  // the driver is still starting
        });
      }
      opened++;
      const tab = new WebDriverTab(port, session.sessionId);
      await tab.send('POST', '/window/rect', {width: 1100, height: 900});
      await tab.send('POST', '/url', {url});
      return tab;
    },
    async close() {
      driver.kill();
      process.off('exit', ended);
      await new Promise(resolve => driver.exitCode !== null ? resolve() : driver.once('exit', resolve));
    },
  };
}

// The engine's browser: open(url, options) gives a Tab, close() ends it.
// `flags` are Chromium's or Firefox's command-line arguments.
function launch(engine, work, flags = []) {
  if (engine === 'webkit') return launchWebKit(work);
  if (engine === 'chromium' || engine === 'firefox') return launchPuppeteer(engine, work, flags);
  throw new Error('no such engine: ' + engine);
}

// Polls `expression` in `tab` until it is truthy, and returns it.
async function waitFor(tab, expression, timeoutMs, what) {
  const until = Date.now() + timeoutMs;
  while (Date.now() < until) {
    const value = await tab.evaluate(expression).catch(() => undefined);  // the page may still be loading
    if (value) return value;
    await sleep(50);
  }
  throw new Error('timed out waiting for ' + what + ' (' + expression + ')');
}

module.exports = {serve, launch, waitFor, sleep, withErrorCapture};
