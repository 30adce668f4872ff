#pragma once
// The text kit's entries in the gallery: labels in the kit's fonts (shrinking, truncation, Chinese
// text, styled runs). Called from registerWidgetGalleryEntries().
void registerTextGalleryEntries();
