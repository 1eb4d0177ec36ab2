// The sound worklet: plays the 16-bit stereo frames the main thread sends
// (web_audio.cpp), in order, and tells it every four render quanta how many
// it has played. It runs on the audio rendering thread; the page loads this
// function's source as the worklet's module (web_page.js), so the page stays
// one .js file.
//
// Messages in: {type: 'restart', generation} forgets everything queued and
// counts from 0 again; {type: 'frames', frames: Int16Array} queues frames
// (left, right, ...); {type: 'mute', muted} silences the output or gives it
// back (the frames play on unheard, so the pictures stay in step);
// {type: 'kept'} asks for every frame played since the restart (only with
// processorOptions.keepPlayed, for tests).
// Messages out: {generation, played, underruns, peak} (peak: the largest
// output value, 0..1, since the last such message) and {kept: Int16Array}.
//
// The frames are 44100 Hz. A context that runs at another rate gets them
// resampled here, linearly; played then counts the 44100 Hz frames taken.
function invitationSoundWorklet() {
  class RingPlayer extends AudioWorkletProcessor {
    constructor(options) {
      super();
      const settings = options.processorOptions;
      this.step = settings.sourceRate / sampleRate; // source frames per output frame
      this.keepPlayed = settings.keepPlayed;
      this.muted = settings.muted;
      this.peak = 0;
      this.restart(0);
      this.port.onmessage = (event) => this.receive(event.data);
    }

    restart(generation) {
      this.generation = generation;
      this.queue = [];       // Int16Arrays waiting to play
      this.chunk = null;     // the one playing
      this.offset = 0;       // its next frame
      this.played = 0;       // frames taken from the queue since the restart
      this.underruns = 0;    // render quanta that ran out of frames after the first
      this.kept = [];
      this.quanta = 0;
      this.left = this.right = 0;                  // the frame take() read, -1..1
      this.previousLeft = this.previousRight = 0;  // resampling: the frames either side
      this.nextLeft = this.nextRight = 0;
      this.haveNext = false;
      this.phase = 0;                              // 0..1 from previous to next
    }

    receive(message) {
      if (message.type === 'restart') {
        this.restart(message.generation);
      } else if (message.type === 'mute') {
        this.muted = message.muted;
      } else if (message.type === 'frames') {
        this.queue.push(message.frames);
      } else if (message.type === 'kept') {
        const kept = this.kept.concat(this.chunk ? [this.chunk.subarray(0, 2 * this.offset)] : []);
        const all = new Int16Array(kept.reduce((sum, part) => sum + part.length, 0));
        let at = 0;
        for (const part of kept) {
          all.set(part, at);
          at += part.length;
        }
        this.port.postMessage({kept: all}, [all.buffer]);
      }
    }

    // Reads the next frame into left and right; false when none has come.
    take() {
      if (!this.chunk) {
        this.chunk = this.queue.shift() || null;
        this.offset = 0;
        if (!this.chunk)
          return false;
      }
      this.left = this.chunk[2 * this.offset] / 32768;
      this.right = this.chunk[2 * this.offset + 1] / 32768;
      ++this.offset;
      ++this.played;
      if (2 * this.offset >= this.chunk.length) {
        if (this.keepPlayed)
          this.kept.push(this.chunk);
        this.chunk = null;
      }
      return true;
    }

    // Moves the resampler on until the output frame lies between two
    // source frames; false when the source ran out first.
    advance() {
      while (this.phase >= 1 || !this.haveNext) {
        if (this.haveNext) {
          this.previousLeft = this.nextLeft;
          this.previousRight = this.nextRight;
          this.phase -= 1;
          this.haveNext = false;
        }
        if (!this.take())
          return false;
        this.nextLeft = this.left;
        this.nextRight = this.right;
        this.haveNext = true;
      }
      return true;
    }

    process(inputs, outputs) {
      const left = outputs[0][0];
      const right = outputs[0][1] || outputs[0][0];
      let starved = false;
      for (let i = 0; i < left.length; ++i) {
        if (this.step === 1) {
          if (!this.take()) {
            starved = true;
            left[i] = right[i] = 0;
            continue;
          }
          left[i] = this.left;
          right[i] = this.right;
        } else {
          if (!this.advance()) {
            starved = true;
            left[i] = right[i] = 0;
            continue;
          }
          left[i] = this.previousLeft + (this.nextLeft - this.previousLeft) * this.phase;
          right[i] = this.previousRight + (this.nextRight - this.previousRight) * this.phase;
          this.phase += this.step;
        }
      }
      if (this.muted) {
        left.fill(0);
        right.fill(0);
      }
      for (let i = 0; i < left.length; ++i)
        this.peak = Math.max(this.peak, Math.abs(left[i]), Math.abs(right[i]));
      if (starved && this.played > 0)
        ++this.underruns;
      if (++this.quanta % 4 === 0) {
        this.port.postMessage({generation: this.generation, played: this.played, underruns: this.underruns, peak: this.peak});
        this.peak = 0;
      }
      return true;
    }
  }
  registerProcessor('invitation-sound', RingPlayer);
}
