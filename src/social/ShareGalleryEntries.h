#pragma once
// Gallery entries of the emotion-mark popup and the share dialog.
void registerShareGalleryEntries();
