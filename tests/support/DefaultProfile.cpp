// Sets the TQ-58's profile as the test program's model profile before any
// test runs, as the TQ-58's programs do at start.
#include "ModelProfile.h"
#include "ProfileTQ58.h"

namespace {

const bool kProfileSet = (SetModelProfile(&GetProfileTQ58()), true);

}  // namespace
