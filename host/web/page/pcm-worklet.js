"use strict";
// The microphone in numbered pieces of 16-bit PCM, mono, at the context's
// rate: the page hands them on to mailhost.
class PcmChunks extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.size = options.processorOptions.chunk;
    this.buffer = new Int16Array(this.size);
    this.fill = 0;
  }

  process(inputs) {
    const channels = inputs[0] || [];
    if (channels.length === 0) return true;
    const frames = channels[0].length;
    for (let i = 0; i < frames; ++i) {
      let sum = 0;
      for (const channel of channels) sum += channel[i];
      const value = Math.max(-1, Math.min(1, sum / channels.length));
      this.buffer[this.fill++] = value < 0 ? value * 0x8000 : value * 0x7fff;
      if (this.fill === this.size) {
        this.port.postMessage(this.buffer.buffer, [this.buffer.buffer]);
        this.buffer = new Int16Array(this.size);
        this.fill = 0;
      }
    }
    return true;
  }
}
registerProcessor("pcm-chunks", PcmChunks);
