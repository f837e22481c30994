#include "registermap.h"

#include <algorithm>

namespace quorva::transmitter {

RegisterImage decodeRegisterImage(const std::vector<quint16>& words)
{
    RegisterImage image{};
    const size_t decoded = std::min(words.size(), image.size());
    for (size_t k = 0; k < decoded; ++k)
        image[k] = wordToValue(words[k]);
    return image;
}

} // namespace quorva::transmitter
