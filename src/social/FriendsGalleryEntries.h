#pragma once
// Gallery entries of the people screens: finding friends (with and without the advertisement strip),
// a microblog's friends with invitations, search results and the recommended people, each filled from
// the stand-in service with the avatars loaded.
void registerFriendsGalleryEntries();
