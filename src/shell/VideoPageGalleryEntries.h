#pragma once
// The video page's gallery entries: the page of a video with its viewers and comments, the comment
// cells (the caption row, a short and a long comment), and the video panel over the page of the
// viewer's own video.
void registerVideoPageGalleryEntries();
