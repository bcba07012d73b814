// The setup's pictures (page skins, check boxes, the options tree's images), made ready as
// the setup starts, before it changes anything: a picture that will not decode means a
// damaged Setup.exe, which must stop rather than show a page without its art.
#pragma once

// Decodes every picture now (framework/PictureResource.h). Null when all are ready;
// otherwise the name of the first that is not (its file in res/art, "skin_129_welcome.png").
const char* PrepareSetupPictures();

// Lets the decoded pictures go: a setup without the wizard (/S) only checks them.
void ReleaseSetupPictures();
