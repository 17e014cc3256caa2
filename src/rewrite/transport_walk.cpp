#include "rewrite/walk.h"

int32_t transport_walk(Walk*) {
    return 0;
}
