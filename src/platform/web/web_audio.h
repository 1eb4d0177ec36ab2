// Inside the web backend: the sound device's part of each frame.
#pragma once

// Sends the worklet the loop's frames it will play next, so that it holds
// about half a second ahead of what it has played. The backend calls it at
// every swap; the caller's feeding between frames keeps those frames
// rendered (the lead stays well inside the ring).
void web_audio_top_up();
