// The web build's start-up and tick cadence in Debian's headless chromium:
//   ZEPHRIN_WEB_DIR=<served folder> node --experimental-websocket bench/web.mjs [SECONDS]
// - navigation to the game being ready to start (all fetched and compiled),
//   and the first key to the first drawn frame (the page's first pass of the
//   loop), in five fresh browsers and in ten reloads of one;
// - the world-tick intervals over SECONDS (default 20) of play, r pressed
//   every 500 ms to keep the game running, with a screenshot every 1.5 s.
import { measureCadence } from '../tests/web/cadence.mjs';
import { launchChromium, Page } from '../tests/web/cdp.mjs';
import { serve } from '../tools/web/server.mjs';

const seconds = Number(process.argv[2] || 20);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const server = await serve(process.env.ZEPHRIN_WEB_DIR);

// [navigation to ready, first key to first frame], in ms.
async function startUp(page, query) {
  await page.send('Page.navigate', { url: `${server.url}?${query}` });
  await page.waitFor('document.readyState === "complete"');
  const ready = await page.waitFor('window.zephrinReadyMs', 30000);
  await sleep(300);
  const key = await page.evaluate('performance.now()');
  await page.press('r');
  return [ready, (await page.waitFor('window.zephrinFirstFrameMs', 30000)) - key];
}

const fresh = [];
for (let i = 0; i < 5; ++i) {
  const browser = await launchChromium();
  const page = await Page.open(browser);
  await page.send('Page.enable');
  fresh.push(await startUp(page, `fresh${i}`));
  page.close();
  await browser.close();
}
const browser = await launchChromium();
const page = await Page.open(browser);
await page.send('Page.enable');
await startUp(page, 'warm-up');
const reloads = [];
for (let i = 0; i < 10; ++i) {
  reloads.push(await startUp(page, `reload${i}`));
}
const report = (what, runs) => {
  for (const [i, step] of [[0, 'navigation to ready'], [1, 'first key to first frame']]) {
    const values = runs.map((run) => run[i]);
    console.log(`${what}, ${step}: median ${median(values).toFixed(0)} ms ` +
                `(${values.map((v) => v.toFixed(0)).join(', ')})`);
  }
};
report('fresh browser', fresh);
report('reload', reloads);

await sleep(500);
const { intervals, shots, at, percentAt } = await measureCadence(page, seconds);
console.log(`ticks: ${intervals.length}; interval median ${at(0.5)} ms, p90 ${at(0.9)}, ` +
            `p99 ${at(0.99)}, max ${intervals.at(-1)}; ` +
            `31 ms: ${percentAt(31)} %, 32 ms: ${percentAt(32)} %`);
console.log(`screenshots: median ${median(shots).toFixed(0)} ms, max ${Math.max(...shots).toFixed(0)} ms`);
page.close();
await browser.close();
await server.close();
