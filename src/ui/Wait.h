#pragma once

// Pauses the calling thread for `seconds` on the monotonic clock. Handles no
// events while it lasts; 0 or less returns at once.
void Wait(double seconds);
