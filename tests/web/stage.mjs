// Media of plain colours in place of the artwork, packed the way the web
// build packs the real ones, so that what the tests see does not depend on
// the current pictures: a blue sky, a red bird, green pipes.
import { execFileSync } from 'node:child_process';
import { mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { deflateSync } from 'node:zlib';

export const SKY = [0x20, 0x40, 0xc0];
export const BIRD = [0xff, 0x00, 0x00];
export const PIPE = [0x00, 0xc0, 0x00];
export const DIGITS = [0xff, 0xff, 0xff];

function crc32(bytes) {
  let crc = ~0;
  for (const byte of bytes) {
    crc ^= byte;
    for (let k = 0; k < 8; ++k) {
      crc = (crc >>> 1) ^ (0xedb88320 & -(crc & 1));
    }
  }
  return ~crc >>> 0;
}

function chunk(type, body) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(body.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), body])));
  return Buffer.concat([head, body, crc]);
}

export function plainPng(width, height, [r, g, b]) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8;  // bits per channel
  header[9] = 2;  // RGB
  const row = Buffer.alloc(1 + width * 3);
  for (let x = 0; x < width; ++x) {
    row.set([r, g, b], 1 + x * 3);
  }
  const pixels = Buffer.concat(Array(height).fill(row));
  return Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', header),
                        chunk('IDAT', deflateSync(pixels)), chunk('IEND', Buffer.alloc(0))]);
}

// Stereo 16-bit, 22050 Hz: a 441 Hz square wave.
function toneWav(seconds) {
  const rate = 22050;
  const frames = Math.round(seconds * rate);
  const wav = Buffer.alloc(44 + frames * 4);
  wav.write('RIFF', 0, 'latin1');
  wav.writeUInt32LE(36 + frames * 4, 4);
  wav.write('WAVEfmt ', 8, 'latin1');
  wav.writeUInt32LE(16, 16);
  wav.writeUInt16LE(1, 20);
  wav.writeUInt16LE(2, 22);
  wav.writeUInt32LE(rate, 24);
  wav.writeUInt32LE(rate * 4, 28);
  wav.writeUInt16LE(4, 32);
  wav.writeUInt16LE(16, 34);
  wav.write('data', 36, 'latin1');
  wav.writeUInt32LE(frames * 4, 40);
  for (let i = 0; i < frames; ++i) {
    const sample = Math.floor(i / 25) % 2 === 0 ? 8000 : -8000;
    wav.writeInt16LE(sample, 44 + i * 4);
    wav.writeInt16LE(sample, 46 + i * 4);
  }
  return wav;
}

// Writes Images/ and Sounds/ under dir/media and packs them into
// dir/zephrin.data with its loader dir/zephrin.data.js.
export function stageMedia(dir) {
  const media = join(dir, 'media');
  mkdirSync(join(media, 'Images'), { recursive: true });
  mkdirSync(join(media, 'Sounds'), { recursive: true });
  writeFileSync(join(media, 'Images/Bird.png'), plainPng(50, 50, BIRD));
  writeFileSync(join(media, 'Images/Pipe_Body.png'), plainPng(50, 50, PIPE));
  writeFileSync(join(media, 'Images/Pipe_Head.png'), plainPng(50, 30, PIPE));
  writeFileSync(join(media, 'Images/Background.png'), plainPng(16, 16, SKY));
  writeFileSync(join(media, 'Images/ScoreSheet.png'), plainPng(500, 49, DIGITS));
  writeFileSync(join(media, 'Sounds/music.wav'), toneWav(1));
  execFileSync('lame', ['--quiet', '-b', '128', 'Sounds/music.wav', 'Sounds/BackgroundMusic.mp3'],
               { cwd: media });
  rmSync(join(media, 'Sounds/music.wav'));
  writeFileSync(join(media, 'Sounds/Ding.wav'), toneWav(0.2));
  const root = execFileSync('em-config', ['EMSCRIPTEN_ROOT'], { encoding: 'utf8' }).trim();
  execFileSync('python3', [join(root, 'tools/file_packager.py'), join(dir, 'zephrin.data'),
                           '--preload', 'Images@/Images', 'Sounds@/Sounds',
                           `--js-output=${join(dir, 'zephrin.data.js')}`],
               { cwd: media, stdio: ['ignore', 'ignore', 'pipe'] });
  return { data: join(dir, 'zephrin.data'), loader: join(dir, 'zephrin.data.js') };
}
