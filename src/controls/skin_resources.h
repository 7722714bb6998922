#pragma once

// The skin bitmaps and icons are compiled into the widgets library. A static
// library's resource table is only linked in when something refers to it, so
// every user of the images calls this first; repeated calls cost nothing.
void LoadSkinResources();
