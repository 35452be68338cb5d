// The page on the screens people play on: a phone held upright (touch, 3x),
// a small laptop and a large 2x screen; and the page as an app, installable
// and playable offline. ZEPHRIN_WEB_DIR names the folder to serve (the
// unpacked zip); ZEPHRIN_WEB_SCREENSHOTS a folder for pictures of the page
// on a phone and on a wide screen.
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { serve } from '../../tools/web/server.mjs';
import {
  emulateScreen, firstFrame, load, loadAndStart, openPage, sleep, ticks, TICKS_TO_FALL_OUT,
  waitForGameOver,
} from './play.mjs';

const WEB_DIR = process.env.ZEPHRIN_WEB_DIR;
if (!WEB_DIR) {
  throw new Error('set ZEPHRIN_WEB_DIR to the folder of the web build');
}
const SHOTS = process.env.ZEPHRIN_WEB_SCREENSHOTS;

const SCREENS = [
  { name: 'a phone held upright', width: 390, height: 844, scale: 3, mobile: true,
    shot: 'web-phone.png', shotScale: 1.5, shotAfterRestart: true },
  { name: 'a small laptop', width: 1366, height: 660, scale: 1, shot: 'web-wide.png', shotScale: 1 },
  { name: 'a large 2x screen', width: 2560, height: 1300, scale: 2 },
];

// Where the canvas, the panel's parts and the page are, in CSS pixels.
const LAYOUT = `(() => {
  const box = (element) => { const r = element.getBoundingClientRect();
    return { left: r.left, top: r.top, right: r.right, bottom: r.bottom }; };
  const canvas = document.getElementById('canvas');
  const root = document.documentElement;
  return { canvas: box(canvas), pixels: [canvas.width, canvas.height],
           panel: ['status', 'restart', 'version'].map((id) => box(document.getElementById(id))),
           restart: box(document.getElementById('restart')),
           scrolls: root.scrollWidth > innerWidth || root.scrollHeight > innerHeight };
})()`;
const centre = (box) => [(box.left + box.right) / 2, (box.top + box.bottom) / 2];
const PAGE_MOVED = '({ zoom: visualViewport.scale, x: scrollX, y: scrollY, ' +
                   'selected: getSelection().toString() })';

for (const screen of SCREENS) {
  describe(`the page on ${screen.name} (${screen.width} x ${screen.height}, ${screen.scale}x)`, () => {
    let server, browser, page, errors, layout;
    const tap = ([x, y]) => (screen.mobile ? page.touch([[x, y]]) : page.click(x, y));
    before(async () => {
      server = await serve(WEB_DIR);
      ({ browser, page, errors } = await openPage());
      await emulateScreen(page, screen);
      await load(page, server.url);
      await page.waitFor('window.zephrinReadyMs', 30000, 'the game to load');
      layout = await page.evaluate(LAYOUT);
    });
    after(async () => {
      page?.close();
      await browser?.close();
      await server?.close();
    });

    it('shows the whole canvas, square, filling the side that limits it, clear of the panel', () => {
      const { canvas, panel, scrolls } = layout;
      const side = canvas.right - canvas.left;
      assert.equal(canvas.bottom - canvas.top, side, `a square canvas: ${JSON.stringify(canvas)}`);
      assert.ok(canvas.left >= 0 && canvas.top >= 0 && canvas.right <= screen.width &&
                canvas.bottom <= screen.height, `the canvas in view: ${JSON.stringify(canvas)}`);
      assert.equal(side, Math.min(screen.width, screen.height), 'the canvas fills the limiting side');
      for (const part of panel) {
        const overlaps = part.left < canvas.right && part.right > canvas.left &&
                         part.top < canvas.bottom && part.bottom > canvas.top;
        assert.ok(!overlaps && part.left >= 0 && part.top >= 0 && part.right <= screen.width &&
                  part.bottom <= screen.height, `in view, clear of the canvas: ${JSON.stringify(part)}`);
      }
      assert.ok(!scrolls, 'nothing to scroll');
    });

    it('starts at the first tap, draws at the screen\'s resolution, and flies the bird on taps', async () => {
      const tapped = await page.evaluate('performance.now()');
      await tap(centre(layout.canvas));
      console.log(`# ${screen.name}: first frame ${((await firstFrame(page)) - tapped).toFixed(0)} ms ` +
                  'after the first tap');
      const side = layout.canvas.right - layout.canvas.left;
      await page.waitFor(`document.getElementById('canvas').width === ${side * screen.scale}`, 2000,
                         'a drawing buffer of the screen\'s pixels');
      assert.deepEqual((await page.evaluate(LAYOUT)).pixels, [side * screen.scale, side * screen.scale]);
      // Left alone, the bird falls out after 33 ticks. Taps keep it up until
      // it meets a pipe, and the picture stays still from then on. A machine
      // too busy to pass the taps on in time gets three games.
      let flown = 0;
      for (let game = 0; game < 3 && flown <= TICKS_TO_FALL_OUT + 15; ++game) {
        const begun = await ticks(page);
        if (game > 0) {
          await tap(centre(layout.restart));
        }
        let [now, still] = [begun, Date.now()];
        while (Date.now() - still < 1000) {
          await sleep(450);
          await tap(centre(layout.canvas));
          const later = await ticks(page);
          if (later !== now) {
            [now, still] = [later, Date.now()];
          }
        }
        flown = now - begun;
      }
      assert.ok(flown > TICKS_TO_FALL_OUT + 15, `the games ended after ${flown} ticks of taps`);
      if (!screen.shotAfterRestart) {
        await saveShot();  // the bird where it met a pipe
      }
    });

    // A picture of the page for the README, at shotScale screen pixels a pixel.
    async function saveShot() {
      if (SHOTS && screen.shot) {
        const clip = { x: 0, y: 0, width: screen.width, height: screen.height,
                       scale: screen.shotScale / screen.scale };
        writeFileSync(join(SHOTS, screen.shot), await page.screenshot(10000, clip));
      }
    }

    it('starts a new game on the restart control', async () => {
      const over = await waitForGameOver(page);
      await tap(centre(layout.restart));
      await page.waitFor(`Module._zephrin_tick_count() > ${over}`, 10000, 'ticks after Restart');
      if (screen.shotAfterRestart) {
        // The bird near the top of its first rise.
        await page.waitFor(`Module._zephrin_tick_count() >= ${over + 6}`, 5000);
        await saveShot();
      }
    });

    it('neither scrolls, zooms nor selects on taps, double taps and two fingers', async () => {
      const [x, y] = centre(layout.canvas);
      const status = centre(layout.panel[0]);
      if (screen.mobile) {
        await page.touch([[x, y]]);
        await page.touch([[x, y]]);
        await page.touch([[x - 60, y], [x + 60, y]], 200);  // a pinch
        await page.touch([status]);
        await page.touch([status]);
      } else {
        await page.click(x, y);
        await page.click(...status);
        await page.send('Input.dispatchMouseEvent',
                        { type: 'mousePressed', x: status[0], y: status[1], button: 'left', clickCount: 2 });
        await page.send('Input.dispatchMouseEvent',
                        { type: 'mouseReleased', x: status[0], y: status[1], button: 'left', clickCount: 2 });
      }
      await sleep(400);
      assert.deepEqual(await page.evaluate(PAGE_MOVED), { zoom: 1, x: 0, y: 0, selected: '' });
    });

    it('logs no errors', () => {
      assert.deepEqual(errors, []);
    });
  });
}

describe('the page as an app', () => {
  let server, browser, page, errors, port, scratch;
  before(async () => {
    server = await serve(WEB_DIR);
    port = Number(new URL(server.url).port);
    scratch = mkdtempSync(join(tmpdir(), 'zephrin-app-'));
    ({ browser, page, errors } = await openPage());
    await load(page, server.url);
  });
  after(async () => {
    page?.close();
    await browser?.close();
    await server?.close();
    rmSync(scratch, { recursive: true, force: true });
  });

  const worker = readFileSync(join(WEB_DIR, 'sw.js'), 'utf8');
  const cacheName = /const CACHE = '([^']+)'/.exec(worker)[1];
  const kept = /const FILES = \[([^\]]+)\]/.exec(worker)[1].split(',').length;
  const cachesNow = `(async () => { const names = await caches.keys();
    return Promise.all(names.map(async (name) => [name, (await (await caches.open(name)).keys()).length]));
  })()`;

  it('is installable: Chromium finds nothing missing', async () => {
    const { installabilityErrors } = await page.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, []);
  });

  it('plays offline after the first visit', async () => {
    await page.waitFor(`(async () => JSON.stringify(await ${cachesNow}) === '[["${cacheName}",${kept}]]' &&
                        navigator.serviceWorker.controller !== null)()`, 30000, 'the game kept');
    await server.close();
    server = null;
    await loadAndStart(page, `http://127.0.0.1:${port}/`);
    await page.waitFor('Module._zephrin_tick_count() > 3', 5000, 'ticks, offline');
  });

  it('replaces the old build\'s files with a new build\'s whole', async () => {
    const newWorker = join(scratch, 'sw.js');
    writeFileSync(newWorker, worker.replace(cacheName, `${cacheName}-next`));
    server = await serve(WEB_DIR, { port, replace: { 'sw.js': newWorker } });
    await load(page, server.url);
    await page.waitFor(`(async () => JSON.stringify(await ${cachesNow}) === '[["${cacheName}-next",${kept}]]')()`,
                       30000, 'the new build kept, the old one gone');
  });

  it('logs no errors', () => {
    assert.deepEqual(errors, []);
  });
});
