#pragma once
// Gallery entries of the feed cell (each kind of item), the upload control and the user header.
void registerFeedCellGalleryEntries();
