#pragma once
// Gallery entries of the progress box in each mode, the pull-to-refresh header in its three states,
// the badged table cells and the count badges; registered from registerWidgetGalleryEntries().
void registerHUDAndBadgeGalleryEntries();
