#include "SetupPictures.h"

#include "PictureResource.h"
#include "resource.h"

namespace {

struct SetupPicture {
    UINT nId;
    const char* pszFile;   // in res/art, as the publisher's guide names it
};

const SetupPicture kPictures[] = {
    {IDB_SKIN_WELCOME, "skin_129_welcome.png"},       {IDB_SKIN_TERMS, "skin_130_terms.png"},
    {IDB_SKIN_FOLDER, "skin_131_folder.png"},         {IDB_SKIN_FINISH, "skin_132_finish.png"},
    {IDB_SKIN_INSTALLING, "skin_135_installing.png"}, {IDB_SKIN_COMPONENTS, "skin_136_components.png"},
    {IDB_TREE_STATES, "tree_139_states.png"},         {IDB_CHECK_ON, "check_141_on.png"},
    {IDB_CHECK_OFF, "check_142_off.png"},
};

}  // namespace

const char* PrepareSetupPictures()
{
    UINT ids[sizeof(kPictures) / sizeof(kPictures[0])];
    for (size_t i = 0; i < sizeof(kPictures) / sizeof(kPictures[0]); ++i)
        ids[i] = kPictures[i].nId;
    const UINT nFailed = PreparePictures(ids, sizeof(ids) / sizeof(ids[0]));
    for (const SetupPicture& picture : kPictures) {
        if (picture.nId == nFailed)
            return picture.pszFile;
    }
    return nullptr;
}

void ReleaseSetupPictures()
{
    ReleasePictures();
}
