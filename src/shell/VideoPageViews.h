#pragma once
// The interface objects of the video page and the video panel: the comment cell (object 3 of the
// shared "CommonViews"), the panel (object 4 of "CommonViews") and the page's own file
// "VideoMainPage" (its bottom bar, the list and the viewers block the header takes in). Registering is
// idempotent; the page, the cell and the panel register them before they load them.
void registerVideoPageViews();
