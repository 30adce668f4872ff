#pragma once
// The widget kit's entries in the gallery (platform/uikit/UIGallery.h): each widget in its main states.
// The gallery program calls this at start; a widget adds its entries here, beside the others.
void registerWidgetGalleryEntries();
