// Lighthouse (from npm, pinned by tests/web/CMakeLists.txt) on Debian's chromium,
// against the web build served as tools/web/serve.sh serves it. As a
// program it measures for the benchmarks: the median of several runs.
//   node tests/web/lighthouse.mjs <folder> [runs] [mobile|desktop]...
// ZEPHRIN_LIGHTHOUSE names the lighthouse program.
import { execFile } from 'node:child_process';
import { pathToFileURL } from 'node:url';
import { promisify } from 'node:util';

import { serve } from '../../tools/web/server.mjs';

const CATEGORIES = ['performance', 'accessibility', 'best-practices', 'seo'];

// One run: the scores (0 to 100) and the figures the benchmarks report.
export async function lighthouse(url, preset) {
  const program = process.env.ZEPHRIN_LIGHTHOUSE;
  if (!program) {
    throw new Error('set ZEPHRIN_LIGHTHOUSE to the lighthouse program (the web tests set it)');
  }
  const { stdout } = await promisify(execFile)(program, [
    url, '--output=json', '--output-path=stdout', '--quiet',
    `--only-categories=${CATEGORIES.join(',')}`,
    ...(preset === 'desktop' ? ['--preset=desktop'] : []),
    '--chrome-flags=--headless=new --no-sandbox --disable-gpu --disable-background-networking ' +
    '--disable-component-update',
  ], { env: { ...process.env, CHROME_PATH: process.env.ZEPHRIN_CHROMIUM || '/usr/bin/chromium' },
       maxBuffer: 256 << 20 });
  const report = JSON.parse(stdout);
  const audit = (id) => report.audits[id]?.numericValue;
  return {
    scores: Object.fromEntries(CATEGORIES.map((id) => [id, Math.round(report.categories[id].score * 100)])),
    lcpMs: Math.round(audit('largest-contentful-paint')),
    tbtMs: Math.round(audit('total-blocking-time')),
    fcpMs: Math.round(audit('first-contentful-paint')),
    speedIndexMs: Math.round(audit('speed-index')),
    cls: audit('cumulative-layout-shift'),
    kibOverWire: Math.round(audit('total-byte-weight') / 1024),
    // Where the blocking time comes from: the tasks of 50 ms or more on the
    // simulated device, each with the script it is charged to.
    longTasks: (report.audits['long-tasks']?.details?.items ?? [])
      .map((task) => `${task.url.replace(url, '/')} ${Math.round(task.duration)} ms`),
    failed: Object.values(report.audits)
      .filter((a) => a.score !== null && a.score < 1 && a.scoreDisplayMode === 'binary')
      .map((a) => a.id),
  };
}

export const describeRun = (preset, run) =>
  `${preset}: ${CATEGORIES.map((id) => `${id} ${run.scores[id]}`).join(', ')}; ` +
  `FCP ${run.fcpMs} ms, LCP ${run.lcpMs} ms, TBT ${run.tbtMs} ms, speed index ` +
  `${run.speedIndexMs} ms, CLS ${run.cls.toFixed(3)}, ${run.kibOverWire} KiB over the wire` +
  (run.failed.length ? `; failed: ${run.failed.join(', ')}` : '');

if (import.meta.url === pathToFileURL(process.argv[1] ?? '').href) {
  const [folder, runs = '3', ...presets] = process.argv.slice(2);
  const server = await serve(folder);
  try {
    for (const preset of presets.length ? presets : ['mobile', 'desktop']) {
      const results = [];
      for (let i = 0; i < Number(runs); ++i) {
        results.push(await lighthouse(server.url, preset));
        console.log(describeRun(preset, results.at(-1)));
      }
      results.sort((a, b) => a.scores.performance - b.scores.performance);
      console.log(`median ${describeRun(preset, results[results.length >> 1])}`);
    }
  } finally {
    await server.close();
  }
}
