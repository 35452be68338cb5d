// Plays for a while, r every 500 ms to keep the game running (a restart
// leaves the tick clock alone), and measures the intervals between world
// ticks from the ticks' own clock readings, and how long a DevTools
// screenshot takes meanwhile (one every 1.5 s).
export async function measureCadence(page, seconds, screenshotTimeoutMs = 30000) {
  const first = await page.evaluate('Module._zephrin_tick_count()');
  const shots = [];
  for (let i = 0; i < seconds * 2; ++i) {
    await page.press('r');
    if (i % 3 === 1) {
      const start = performance.now();
      await page.screenshot(screenshotTimeoutMs);
      shots.push(performance.now() - start);
    }
    await new Promise((resolve) => setTimeout(resolve, 500));
  }
  const readings = await page.evaluate(`(() => {
    const n = Module._zephrin_tick_count(), out = [];
    for (let i = Math.max(${first} + 1, n - 1024); i < n; ++i) {
      out.push(Module._zephrin_tick_reading(i));
    }
    return out; })()`);
  const intervals = readings.slice(1).map((reading, i) => reading - readings[i])
    .sort((a, b) => a - b);
  return {
    intervals,
    shots,
    at: (q) => intervals[Math.min(intervals.length - 1, Math.floor(q * intervals.length))],
    percentAt: (ms) => Math.round(100 * intervals.filter((v) => v === ms).length / intervals.length),
  };
}
