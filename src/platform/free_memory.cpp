#include "platform/free_memory.h"

#include <malloc.h>

namespace pelm {

void releaseFreeMemory() {
    malloc_trim(0);
}

}  // namespace pelm
