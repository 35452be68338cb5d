// A small DevTools-protocol driver for Debian's chromium, and the PNG decoding
// that reading its screenshots needs: Node's own WebSocket, fetch and zlib.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { inflateSync } from 'node:zlib';

const CHROMIUM = process.env.ZEPHRIN_CHROMIUM || 'chromium';

// Flags that let chromium run headless as root in a container, without a
// GPU (WebGL through SwiftShader), and never reach the network by itself.
export const BASE_FLAGS = [
  '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--no-first-run', '--no-default-browser-check', '--mute-audio',
  '--autoplay-policy=document-user-activation-required', '--window-size=1000,1000',
];

export async function launchChromium(extraFlags = []) {
  const profile = mkdtempSync(join(tmpdir(), 'zephrin-chromium-'));
  const child = spawn(CHROMIUM, [...BASE_FLAGS, ...extraFlags, `--user-data-dir=${profile}`,
                                 '--remote-debugging-port=0', 'about:blank'],
                      { stdio: ['ignore', 'ignore', 'pipe'], detached: true });
  let log = '';
  const port = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`chromium did not start:\n${log}`)), 30000);
    child.stderr.on('data', (chunk) => {
      log += chunk;
      const found = /DevTools listening on ws:\/\/127\.0\.0\.1:(\d+)\//.exec(log);
      if (found) {
        clearTimeout(timer);
        resolve(Number(found[1]));
      }
    });
    child.on('exit', (code) => reject(new Error(`chromium exited (${code}):\n${log}`)));
  });
  return {
    port,
    async close() {
      // Chromium's helper processes share its process group: end them all.
      const exited = new Promise((resolve) => child.once('exit', resolve));
      signalGroup(child, 'SIGTERM');
      await Promise.race([exited, new Promise((resolve) => setTimeout(resolve, 5000))]);
      signalGroup(child, 'SIGKILL');
      try {
        rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
      } catch {
        // A scratch profile left in the temporary directory harms nothing.
      }
    },
  };
}

function signalGroup(child, signal) {
  try {
    process.kill(-child.pid, signal);
  } catch {
    // already gone
  }
}

// One page of the browser, driven over its own DevTools connection.
export class Page {
  static async open(browser) {
    const response = await fetch(`http://127.0.0.1:${browser.port}/json/new?about:blank`,
                                 { method: 'PUT' });
    const target = await response.json();
    const page = new Page(target.webSocketDebuggerUrl);
    await page.ready;
    return page;
  }

  constructor(url) {
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = new Set();
    this.socket = new WebSocket(url);
    this.ready = new Promise((resolve, reject) => {
      this.socket.onopen = resolve;
      this.socket.onerror = () => reject(new Error(`cannot connect to ${url}`));
    });
    this.socket.onmessage = (message) => this.receive(JSON.parse(message.data));
  }

  receive(message) {
    if (message.id !== undefined) {
      const call = this.pending.get(message.id);
      this.pending.delete(message.id);
      if (message.error) {
        call.reject(new Error(`${call.method}: ${message.error.message}`));
      } else {
        call.resolve(message.result);
      }
      return;
    }
    for (const listener of this.listeners) {
      listener(message.method, message.params);
    }
  }

  send(method, params = {}, timeoutMs = 30000) {
    const id = this.nextId++;
    this.socket.send(JSON.stringify({ id, method, params }));
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.pending.delete(id);
        reject(new Error(`${method} got no answer in ${timeoutMs} ms`));
      }, timeoutMs);
      this.pending.set(id, {
        method,
        resolve: (result) => { clearTimeout(timer); resolve(result); },
        reject: (error) => { clearTimeout(timer); reject(error); },
      });
    });
  }

  on(listener) {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }

  // The value of a JavaScript expression in the page (promises awaited).
  async evaluate(expression) {
    const { result, exceptionDetails } = await this.send('Runtime.evaluate', {
      expression, awaitPromise: true, returnByValue: true,
    });
    if (exceptionDetails) {
      throw new Error(`${expression}: ${exceptionDetails.exception?.description ??
                                        exceptionDetails.text}`);
    }
    return result.value;
  }

  // Polls expression until it is truthy; returns its value.
  async waitFor(expression, timeoutMs = 15000, what = expression) {
    const deadline = Date.now() + timeoutMs;
    for (;;) {
      const value = await this.evaluate(expression);
      if (value) {
        return value;
      }
      if (Date.now() > deadline) {
        throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
      }
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }

  // Key presses as the keyboard sends them, down then up, all sent at once
  // so that they reach the page together.
  async press(...keys) {
    const known = {
      ' ': { key: ' ', code: 'Space', keyCode: 32, text: ' ' },
      r: { key: 'r', code: 'KeyR', keyCode: 82, text: 'r' },
    };
    const sent = [];
    for (const name of keys) {
      const { key, code, keyCode, text } = known[name];
      const common = { key, code, windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode };
      sent.push(this.send('Input.dispatchKeyEvent', { type: 'keyDown', text, ...common }));
      sent.push(this.send('Input.dispatchKeyEvent', { type: 'keyUp', ...common }));
    }
    await Promise.all(sent);
  }

  // A tap of one finger, or of several at once (two for a pinch), which move
  // by `spread` pixels apart from each other before they lift.
  async touch(points, spread = 0) {
    const at = (move) => points.map(([x, y], i) => ({ x: x + (i ? move : -move), y, id: i }));
    await this.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: at(0) });
    for (let step = 1; spread && step <= 5; ++step) {
      await this.send('Input.dispatchTouchEvent',
                      { type: 'touchMove', touchPoints: at(spread * step / 10) });
    }
    await this.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  }

  async click(x, y) {
    for (const type of ['mousePressed', 'mouseReleased']) {
      await this.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
    }
  }

  // A PNG of the page, or of a rectangle of it, at `scale` of its screen pixels.
  async screenshot(timeoutMs = 10000, clip = undefined) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png', clip },
                                     timeoutMs);
    return Buffer.from(data, 'base64');
  }

  close() {
    this.socket.close();
  }
}

// Decodes an 8-bit RGB or RGBA, non-interlaced PNG (what chromium writes)
// into { width, height, rgba } with four bytes a pixel.
export function decodePng(png) {
  const signature = '89504e470d0a1a0a';
  if (png.subarray(0, 8).toString('hex') !== signature) {
    throw new Error('not a PNG');
  }
  let width = 0, height = 0, colourType = 0;
  const idat = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      colourType = body[9];
      if (body[8] !== 8 || body[12] !== 0 || (colourType !== 2 && colourType !== 6)) {
        throw new Error('only 8-bit, non-interlaced RGB or RGBA PNGs are read');
      }
    } else if (type === 'IDAT') {
      idat.push(body);
    }
    at += 12 + length;
  }
  const channels = colourType === 6 ? 4 : 3;
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const left = x >= channels ? rows[y * stride + x - channels] : 0;
      const up = y > 0 ? rows[(y - 1) * stride + x] : 0;
      const upLeft = y > 0 && x >= channels ? rows[(y - 1) * stride + x - channels] : 0;
      let predicted = 0;
      if (filter === 1) predicted = left;
      else if (filter === 2) predicted = up;
      else if (filter === 3) predicted = (left + up) >> 1;
      else if (filter === 4) predicted = paeth(left, up, upLeft);
      rows[y * stride + x] = (line[x] + predicted) & 0xff;
    }
  }
  const rgba = Buffer.alloc(width * height * 4);
  for (let i = 0; i < width * height; ++i) {
    rows.copy(rgba, i * 4, i * channels, i * channels + 3);
    rgba[i * 4 + 3] = channels === 4 ? rows[i * channels + 3] : 255;
  }
  return { width, height, rgba };
}

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}
