// SPDX-License-Identifier: MIT
// Plays notes from a SoundFont with spessasynth_core and prints, as one
// JSON array, the peak level of each note held for 5120 frames from
// silence (effects off, 44.1 kHz, channel 0, preset 0:0).
// usage: node spessasynth_render.mjs NODE_MODULES FONT.sf2 KEY:VELOCITY ...
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";

const [, , modules, font, ...notes] = process.argv;
const { SpessaSynthProcessor, SoundBankLoader } = await import(
  pathToFileURL(`${modules}/spessasynth_core/dist/index.js`).href
);
const file = readFileSync(font);
const bytes = file.buffer.slice(file.byteOffset, file.byteOffset + file.byteLength);
const peaks = [];
for (const note of notes) {
  const [key, velocity] = note.split(":").map(Number);
  const synth = new SpessaSynthProcessor(44100, { effectsEnabled: false, eventsEnabled: false });
  synth.soundBankManager.addSoundBank(SoundBankLoader.fromArrayBuffer(bytes), "main");
  await synth.processorInitialized;
  synth.noteOn(0, key, velocity);
  const left = new Float32Array(128);
  const right = new Float32Array(128);
  let peak = 0;
  for (let block = 0; block < 40; ++block) {
    left.fill(0);
    right.fill(0);
    synth.process(left, right);
    for (let k = 0; k < 128; ++k) peak = Math.max(peak, Math.abs(left[k]), Math.abs(right[k]));
  }
  peaks.push(peak);
}
console.log(JSON.stringify(peaks));
