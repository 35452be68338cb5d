// The tasks on the page's thread while the web build loads, from a DevTools
// trace of one load in a fresh headless chromium (as Lighthouse runs it,
// --disable-gpu), until the game is ready to start:
//   ZEPHRIN_WEB_DIR=<served folder> node --experimental-websocket bench/web-tasks.mjs [MS]
// Lists every task of MS ms or more (default 4) after the first paint: its
// time on the clock and on the thread's CPU (what a busy machine changes
// least), what the browser says it was, and the JavaScript functions that
// took most of its samples. Lighthouse's phone counts a task four times
// over, and what is past 50 ms of that as blocking: 12.5 ms here is the limit.
import { launchChromium, Page } from '../tests/web/cdp.mjs';
import { serve } from '../tools/web/server.mjs';

const leastMs = Number(process.argv[2] || 4);
const server = await serve(process.env.ZEPHRIN_WEB_DIR);
const browser = await launchChromium(['--disable-gpu']);
const page = await Page.open(browser);
const events = [];
const traced = new Promise((resolve) => page.on((method, params) => {
  if (method === 'Tracing.dataCollected') {
    events.push(...params.value);
  } else if (method === 'Tracing.tracingComplete') {
    resolve();
  }
}));
await page.send('Tracing.start', { transferMode: 'ReportEvents', traceConfig: { includedCategories: [
  'toplevel', 'devtools.timeline', 'disabled-by-default-devtools.timeline', 'v8', 'v8.wasm', 'loading',
  'disabled-by-default-v8.cpu_profiler'] } });
await page.send('Page.navigate', { url: server.url });
await page.waitFor('window.zephrinReadyMs', 30000, 'the game to load');
await new Promise((resolve) => setTimeout(resolve, 1000));
await page.send('Tracing.end');
await traced;
page.close();
await browser.close();
await server.close();

// The page's thread: the renderer's main thread that did the most.
const threadNames = new Map(events.filter((e) => e.name === 'thread_name')
  .map((e) => [`${e.pid}:${e.tid}`, e.args.name]));
const busiest = new Map();
for (const e of events) {
  const thread = `${e.pid}:${e.tid}`;
  if (threadNames.get(thread) === 'CrRendererMain') {
    busiest.set(thread, (busiest.get(thread) ?? 0) + 1);
  }
}
const main = [...busiest].sort((a, b) => b[1] - a[1])[0][0];
const onMain = events.filter((e) => `${e.pid}:${e.tid}` === main && e.ph === 'X')
  .sort((a, b) => a.ts - b.ts);
const firstPaint = Math.max(...events.filter((e) => e.name === 'firstContentfulPaint').map((e) => e.ts));

// The samples of the page thread's JavaScript: [time, function].
const frames = new Map();
const samples = [];
const clocks = new Map(events.filter((e) => e.name === 'Profile' && `${e.pid}:${e.tid}` === main)
  .map((e) => [e.id, e.args.data.startTime]));
for (const e of events.filter((e) => e.name === 'ProfileChunk' && clocks.has(e.id))) {
  const { cpuProfile = {}, timeDeltas = [] } = e.args.data;
  for (const node of cpuProfile.nodes ?? []) {
    const { functionName, url } = node.callFrame;
    frames.set(`${e.id}:${node.id}`,
               `${functionName || '(top level)'}${url ? ' ' + new URL(url).pathname : ''}`);
  }
  (cpuProfile.samples ?? []).forEach((node, i) => {
    clocks.set(e.id, clocks.get(e.id) + timeDeltas[i]);
    samples.push([clocks.get(e.id), frames.get(`${e.id}:${node}`)]);
  });
}

const within = (task, time) => time >= task.ts && time <= task.ts + task.dur;
const what = (task) => onMain.find((e) => e !== task && within(task, e.ts) && e.dur > task.dur / 3 &&
  /EvaluateScript|TimerFire|FunctionCall|HandlePostMessage|wasm|ResponseBody|GC|Layout|Paint|Decode/
    .test(e.name))?.name ?? 'the browser\'s own';
const tasks = onMain.filter((e) => e.name === 'ThreadControllerImpl::RunTask' && e.ts > firstPaint &&
                             e.dur >= leastMs * 1000);
console.log(`${tasks.length} tasks of ${leastMs} ms or more after the first paint ` +
            '(ms on the clock / on the CPU, what, functions sampled most):');
for (const task of tasks) {
  const sampled = new Map();
  for (const [time, frame] of samples) {
    if (within(task, time) && !/^\((program|idle)\)/.test(frame)) {
      sampled.set(frame, (sampled.get(frame) ?? 0) + 1);
    }
  }
  const most = [...sampled].sort((a, b) => b[1] - a[1]).slice(0, 3).map(([frame]) => frame);
  console.log(`  ${((task.ts - firstPaint) / 1000).toFixed(0)} ms after: ` +
              `${(task.dur / 1000).toFixed(1)} / ${((task.tdur ?? 0) / 1000).toFixed(1)} ms, ` +
              `${what(task)}${most.length ? '; ' + most.join(', ') : ''}`);
}
