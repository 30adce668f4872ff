#pragma once
// Gallery entries of the own profile, the password and phone forms, and the follow-and-fans panel
// (the account's own lists and another user's), each logged in against the stand-in service with its
// pictures loaded.
void registerProfileGalleryEntries();
