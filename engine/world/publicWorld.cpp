#include "engine/world/publicWorld.h"

PublicWorld::PublicWorld() = default;

PublicWorld::PublicWorld(const PublicWorld& other) = default;

PublicWorld& PublicWorld::operator=(const PublicWorld& other) = default;

PublicWorld::~PublicWorld() = default;
