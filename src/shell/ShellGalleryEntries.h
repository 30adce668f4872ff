#pragma once
// Gallery entries of the shell: the root container at rest, with the menu open (logged in and out),
// with the people panel open, and the network error box.
void registerShellGalleryEntries();
