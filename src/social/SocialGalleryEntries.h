#pragma once
// Gallery entries of the discovery screens: the followed topics, all topics, the square with its
// tiles and the place map with its visitors, each filled from the stand-in service.
void registerSocialGalleryEntries();
