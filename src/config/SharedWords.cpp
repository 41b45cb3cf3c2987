#include "config/SharedWords.h"

SharedWord g_nExposure{-11};
SharedWord g_nPtCount{0};
SharedWord enrollSign{0};
SharedWord searchType{0};
SharedWord g_bCollate{0};
SharedWord g_bCollateA{0};
SharedWord g_nCalibExposure{0};
SharedWord g_nBackgroundMode{0};
SharedWord g_nBackgroundSnap{0};
SharedWord g_bContactOutput{0};
