#pragma once
// The capture module's gallery entries: one frame of the synthetic camera through each filter the
// recording screen offers, shown by the preview view as the screen shows it; the recording screen with
// its filter bar raised and while it records; the review screen.
void registerCaptureGalleryEntries();
