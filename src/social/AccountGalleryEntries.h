#pragma once
// Gallery entries of the account screens: the login screen in each edition, both registration steps,
// the e-mail check, the about page and account binding.
void registerAccountGalleryEntries();
