// The product version ("1.0.0", from the file VERSION at the top of the tree),
// linked into the programs that print it (quarn_product_version in CMake).
#pragma once

namespace quarn {

const char* product_version();

}  // namespace quarn
