#pragma once
// The views of the shared interface file "CommonViews" that the feed owns: the user header (view 0,
// HeaderView.h) and the upload control of a local video (view 6, UploadControl.h). Registering is
// idempotent; the feed cell and the header's loader register them before they load the file, and the
// application's start-up may do so earlier.
void registerFeedViews();

// Image names the header's sign panel uses.
inline constexpr char kAddNewSignImage[] = "add_new_sign";
