// The page's side of the web backend (index.html holds the markup): the
// question box, the canvas, the show's controls and keys, the error line,
// the end of the show, and the sound (an AudioContext with the worklet of sound_worklet.js). The
// program calls these through web_platform.cpp and web_audio.cpp; Emscripten
// puts this file at the head of the program's .js. Page parameters:
//   audio_offset_ms=N  holds the pictures back N ms (-1000..1000) for
//                      latency no layer reports
// and, for tests only, virtual_time=1 (the show steps in virtual time, silent),
// report=1 (the program sends its capture to the serving test, POST
// /report/NAME), keep_played=1 (the worklet keeps what it played).

const invitationPage = {
  parameters: new URLSearchParams(location.search),
  quitPending: 0,
  asking: false,
  fullscreen: null,       // the answer's full-screen request: resolves true when granted
  frameTimes: [],         // animation-frame timestamps before the question is answered, ms
  reports: [],            // fetches in flight
  status: null,           // the program's exit status once it has ended
  unsupported: null,      // the sentence saying what the browser lacks, if it lacks it

  parameter(name) {
    // (Written for the JavaScript Emscripten 3.1.6 minifies: no ?? or ?.)
    const value = this.parameters.get(name);
    return value === null ? '' : value;
  },

  element(id) {
    return document.getElementById(id);
  },

  // The question as two buttons; Return is Yes, Escape is No. The answer is
  // the user's gesture that lets the page start sound and go full screen.
  ask(text, caption) {
    this.element('loading').hidden = true;
    this.element('caption').textContent = caption;
    this.element('question-text').textContent = text;
    const box = this.element('question');
    box.hidden = false;
    this.asking = true;
    this.element('yes').focus();
    return new Promise((resolve) => {
      const answer = (yes) => {
        if (!this.asking)
          return;
        this.asking = false;
        box.hidden = true;
        document.removeEventListener('keydown', onKey, true);
        if (yes)
          this.requestFullscreen();
        this.controls.start();
        if (this.parameter('virtual_time') !== '1')
          this.sound.start();
        resolve(yes ? 6 : 7);
      };
      const onKey = (event) => {
        if (event.key === 'Enter' || event.key === 'Escape') {
          // The key is the answer and nothing else: the page-wide Esc
          // handler below must not see it once the question is gone.
          event.preventDefault();
          event.stopImmediatePropagation();
          answer(event.key === 'Enter');
        }
      };
      document.addEventListener('keydown', onKey, true);
      this.element('yes').onclick = () => answer(true);
      this.element('no').onclick = () => answer(false);
    });
  },

  // Full screen for the stage (the canvas and its controls), in a gesture.
  requestFullscreen() {
    this.element('canvas').hidden = false;
    const stage = this.element('stage');
    const request = stage.requestFullscreen ? stage.requestFullscreen() : Promise.reject(new Error('no full screen'));
    this.fullscreen = request.then(() => true, (error) => {
      console.info(`invitation: full screen refused (${error.message}); playing in the page`);
      return false;
    });
  },

  toggleFullscreen() {
    if (document.fullscreenElement)
      document.exitFullscreen().catch(() => {});
    else
      this.requestFullscreen();
  },

  // The show's controls: full screen, mute and stop, over the canvas while
  // the show runs. A pointer's move or a tap shows them for a while; F or a
  // double click toggles full screen, M mutes, Esc stops.
  controls: {
    running: false,
    hideTimer: 0,
    SHOWN_MS: 2500,

    start() {
      const page = invitationPage;
      this.running = true;
      page.element('controls').hidden = false;
      const stage = page.element('stage');
      const reveal = () => this.reveal();
      stage.addEventListener('pointermove', reveal);
      stage.addEventListener('pointerdown', reveal);
      stage.addEventListener('focusin', reveal);
      page.element('canvas').addEventListener('dblclick', () => page.toggleFullscreen());
      page.element('fullscreen').onclick = () => page.toggleFullscreen();
      page.element('mute').onclick = () => page.sound.setMuted(!page.sound.muted);
      page.element('stop').onclick = () => this.stop();
      document.addEventListener('fullscreenchange', () => {
        page.element('fullscreen').textContent = document.fullscreenElement ? 'Leave full screen' : 'Full screen';
      });
    },

    reveal() {
      const stage = invitationPage.element('stage');
      stage.classList.add('active');
      clearTimeout(this.hideTimer);
      this.hideTimer = setTimeout(() => stage.classList.remove('active'), this.SHOWN_MS);
    },

    stop() {
      if (this.running)
        invitationPage.quitPending = 1;
    },

    end() {
      this.running = false;
      invitationPage.element('controls').hidden = true;
      invitationPage.element('stage').classList.remove('active');
    },
  },

  showCanvas(title, width, height) {
    document.title = title;
    const canvas = this.element('canvas');
    canvas.width = width;
    canvas.height = height;
    canvas.hidden = false;
  },

  // The canvas's displayed size in device pixels (0 x 0 while hidden).
  outputSize() {
    const box = this.element('canvas').getBoundingClientRect();
    const ratio = window.devicePixelRatio || 1;
    return [Math.round(box.width * ratio), Math.round(box.height * ratio)];
  },

  setCanvasSize(width, height) {
    const canvas = this.element('canvas');
    canvas.width = width;
    canvas.height = height;
  },

  showCursor(show) {
    this.element('canvas').style.cursor = show ? '' : 'none';
  },

  // The display's rate from the animation frames seen so far: their median
  // interval, 0 when too few were seen.
  refreshRate() {
    const times = this.frameTimes;
    if (times.length < 10)
      return 0;
    const intervals = times.slice(1).map((t, i) => t - times[i]).sort((a, b) => a - b);
    const median = intervals[intervals.length >> 1];
    return median > 0 ? 1000 / median : 0;
  },

  takeQuit() {
    const quit = this.quitPending;
    this.quitPending = 0;
    return quit;
  },

  // The next frame: at the display's next animation frame, or, in virtual
  // time, as soon as the browser has had its turn.
  nextFrame(virtualTime) {
    if (!virtualTime)
      return new Promise((resolve) => requestAnimationFrame(() => resolve()));
    return new Promise((resolve) => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => resolve();
      channel.port2.postMessage(0);
    });
  },

  fail(line) {
    console.error(line);
    this.element('loading').hidden = true;
    this.element('question').hidden = true;
    const status = this.element('status');
    status.textContent = line;
    status.hidden = false;
  },

  ended(status) {
    this.status = status;
    this.controls.end();
    if (document.fullscreenElement)
      document.exitFullscreen().catch(() => {});
    this.element('canvas').style.cursor = '';
    this.element('again').hidden = false;
    this.element('again').focus();
    // Nothing plays any more: let the browser free the audio device.
    if (this.sound.context)
      this.sound.context.close().catch(() => {});
  },

  report(name, bytes) {
    if (this.parameter('report') === '1')
      this.reports.push(fetch(`/report/${name}`, {method: 'POST', body: bytes}));
  },

  sound: {
    context: null,
    node: null,
    ready: null,          // resolves true once the worklet plays, false when it cannot
    generation: 0,        // of the last restart; older counts are ignored
    played: 0,            // frames the worklet has played since the restart
    underruns: 0,
    peak: 0,              // the largest value the worklet put out lately, 0..1
    muted: false,
    offsetSeconds: 0,

    // In the answer's gesture, which lets the context start.
    start() {
      if (!this.ready)
        this.ready = this.create().catch((error) => {
          console.error(`invitation: no sound: ${error.message}`);
          return false;
        });
    },

    async create() {
      if (!window.AudioContext || !window.AudioWorkletNode)
        throw new Error('this browser has no Web Audio worklets');
      this.readOffset();
      let context;
      try {
        context = new AudioContext({sampleRate: 44100});
      } catch (error) {
        context = new AudioContext();
      }
      this.context = context;
      context.resume();
      if (context.sampleRate !== 44100)
        console.info(`invitation: the browser plays at ${context.sampleRate} Hz; the worklet resamples the 44100 Hz song`);
      const source = `(${invitationSoundWorklet.toString()})();`;
      const url = URL.createObjectURL(new Blob([source], {type: 'text/javascript'}));
      await context.audioWorklet.addModule(url);
      URL.revokeObjectURL(url);
      this.node = new AudioWorkletNode(context, 'invitation-sound', {
        numberOfInputs: 0,
        numberOfOutputs: 1,
        outputChannelCount: [2],
        processorOptions: {sourceRate: 44100, keepPlayed: invitationPage.parameter('keep_played') === '1',
                           muted: this.muted},
      });
      this.node.port.onmessage = (event) => this.receive(event.data);
      this.node.connect(context.destination);
      return true;
    },

    readOffset() {
      const text = invitationPage.parameter('audio_offset_ms');
      if (text === '')
        return;
      // A sign and digits only: Number() would also take 1e3, 0x10 or ' 120',
      // forms nobody writes as milliseconds and a typo can produce.
      const ms = /^[+-]?\d{1,4}$/.test(text) ? Number(text) : NaN;
      if (ms >= -1000 && ms <= 1000)
        this.offsetSeconds = ms / 1000;
      else
        console.warn(`invitation: audio_offset_ms=${text} ignored: a whole number of ms from -1000 to 1000, please`);
    },

    async open() {
      this.start();
      return (await this.ready) ? 1 : 0;
    },

    setMuted(muted) {
      this.muted = muted;
      const button = invitationPage.element('mute');
      button.setAttribute('aria-pressed', String(muted));
      button.textContent = muted ? 'Sound on' : 'Mute';
      if (this.node)
        this.node.port.postMessage({type: 'mute', muted});
    },

    restart() {
      ++this.generation;
      this.played = 0;
      this.node.port.postMessage({type: 'restart', generation: this.generation});
    },

    send(frames) {
      this.node.port.postMessage({type: 'frames', frames}, [frames.buffer]);
    },

    receive(message) {
      if (message.kept) {
        if (this.keptWaiting)
          this.keptWaiting(message.kept);
      } else if (message.generation === this.generation) {
        this.played = message.played;
        this.underruns = message.underruns;
        this.peak = message.peak;
      }
    },

    latencySeconds() {
      const context = this.context;
      return (context.outputLatency || 0) + (context.baseLatency || 0) + this.offsetSeconds;
    },

    // Tests: every frame the worklet played since the restart.
    kept() {
      return new Promise((resolve) => {
        this.keptWaiting = resolve;
        this.node.port.postMessage({type: 'kept'});
      });
    },
  },
};

// What the show needs and the browser may lack, checked before the program
// runs: when something is missing, the page's box says so in one sentence,
// and the program, its question and its way to watch again never start.
(function checkBrowser() {
  const webgl2 = !!document.createElement('canvas').getContext('webgl2');
  const worklets = !!(window.AudioContext && window.AudioWorkletNode);
  if (webgl2 && worklets)
    return;
  const missing = !webgl2 && !worklets ? '3D graphics (WebGL 2) and sound worklets (Web Audio)'
                : !webgl2 ? '3D graphics (WebGL 2)' : 'sound worklets (Web Audio)';
  const sentence = `This browser cannot play the invitation: it offers no ${missing}.`;
  console.error(sentence);
  Module.noInitialRun = true;
  invitationPage.element('loading').hidden = true;
  invitationPage.element('caption').textContent = document.title;
  invitationPage.element('question-text').textContent = sentence;
  invitationPage.element('question').querySelector('.buttons').hidden = true;
  invitationPage.element('question').setAttribute('role', 'alert');
  invitationPage.element('question').hidden = false;
  invitationPage.unsupported = sentence;
})();

// Emscripten's own words, less its advice to rebuild with assertions.
let invitationStarted = false;
Module.onRuntimeInitialized = () => {
  invitationStarted = true;
};
Module.onAbort = (what) => {
  const reason = String(what).replace(/ *Build with -s ASSERTIONS=1 for more info\.?/, '');
  invitationPage.fail(invitationStarted ? `invitation: the program stopped: ${reason}`
                                        : `invitation: cannot load the program (invitation.wasm): ${reason}`);
};

if (typeof WebAssembly !== 'object')
  invitationPage.fail('invitation: this browser cannot run WebAssembly');

// Esc ends the show, except in full screen, where it first leaves full
// screen (the browser's own); so does leaving the page. F and M are the
// controls' keys (not with Ctrl, Alt or Cmd: those are the browser's).
document.addEventListener('keydown', (event) => {
  const controls = invitationPage.controls;
  if (!controls.running || event.ctrlKey || event.altKey || event.metaKey || event.repeat)
    return;
  if (event.key === 'Escape' && !document.fullscreenElement)
    controls.stop();
  else if (event.key === 'f' || event.key === 'F')
    invitationPage.toggleFullscreen();
  else if (event.key === 'm' || event.key === 'M')
    invitationPage.sound.setMuted(!invitationPage.sound.muted);
});
addEventListener('pagehide', () => {
  invitationPage.quitPending = 1;
});

(function measureFrames() {
  requestAnimationFrame((time) => {
    invitationPage.frameTimes.push(time);
    if (invitationPage.frameTimes.length < 61)
      measureFrames();
  });
})();

invitationPage.element('again').onclick = () => location.reload();
