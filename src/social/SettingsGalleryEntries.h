#pragma once
// Gallery entry of the settings screen: logged in, its notices read from the service.
void registerSettingsGalleryEntries();
