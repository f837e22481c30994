#include "registermap.h"

#include <algorithm>

namespace quorva::transmitter {

RegisterImage decodeRegisterImage(const quint8* reply, int accepted)
{
    RegisterImage image{};
    if (accepted < 3)
        return image;
    const int announced = reply[2] / 2;
    const int present = (accepted - 3) / 2;
    const int words = std::min({announced, present, kRegisterImageSlots});
    for (int k = 0; k < words; ++k)
        image[size_t(k)] = wordToValue(quint16((reply[3 + 2 * k] << 8) | reply[4 + 2 * k]));
    return image;
}

} // namespace quorva::transmitter
