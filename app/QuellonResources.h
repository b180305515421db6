#pragma once

// Registers the compiled-in images (":/mianPage/", ":/CCCVImage/",
// ":/listImage/", ":/FristImage/"). The resources live in the static core
// library, whose registration the linker may drop unless something calls
// this once before the first image is used.
void initQuellonResources();
