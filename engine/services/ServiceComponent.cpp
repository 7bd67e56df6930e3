#include "ServiceComponent.h"

namespace taviro {

ServiceComponent::~ServiceComponent() = default;

} // namespace taviro
