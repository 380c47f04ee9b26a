#include "Eicar.h"

namespace ReferenceEngine
{

namespace
{

// The middle piece is stored reversed, so that no run of the string longer than a piece
// appears in the module's data.
const char* const head = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$";
const char* const middleReversed = "-TSET-SURIVITNA-DRADNATS-RACIE";
const char* const tail = "FILE!$H+H*";

std::string Build()
{
    std::string text(head);
    const std::string middle(middleReversed);
    text.append(middle.rbegin(), middle.rend());
    text.append(tail);
    return text;
}

} // namespace

const std::string& EicarString()
{
    static const std::string eicar = Build();
    return eicar;
}

} // namespace ReferenceEngine
