#include "engine/collision/collisionManager.h"

// Impacts crack fracture bodies once crack propagation exists; until then they do nothing.
void CollisionManager::resolveFractureImpacts(CollisionPair*, int, bool) {}
