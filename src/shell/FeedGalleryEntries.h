#pragma once
// The feed's gallery entries: the home feed with its items and the system-notice bar, the newest
// feed, a topic feed with its bar, the nearby feed with its place bar, and the first and last pages
// of the first-run guide.
void registerFeedGalleryEntries();
