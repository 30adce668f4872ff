#pragma once
// Gallery entries of the discovery screens: the followed topics, all topics, the square with its
// tiles, the stream player, the place map with its visitors and the message box, each filled from the
// stand-in service.
void registerSocialGalleryEntries();
