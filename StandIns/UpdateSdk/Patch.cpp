#include "Patch.h"

#include "Result.h"

namespace UpdateSdkStandIn
{
namespace
{

const std::string magic = "BKPATCH1";
const char copyOperation = 'C';
const char insertOperation = 'I';

[[noreturn]] void Bad(const std::string& why)
{
    throw UpdateError(Result::VerificationFailed, "bad patch: " + why);
}

class Reader
{
public:
    explicit Reader(const std::string& data) : data(data) {}

    bool AtEnd() const { return position == data.size(); }
    char Byte()
    {
        Need(1);
        return data[position++];
    }
    std::uint64_t Number()
    {
        Need(8);
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(data[position + i]);
        position += 8;
        return value;
    }
    std::string Bytes(std::uint64_t count)
    {
        Need(count);
        std::string bytes = data.substr(position, count);
        position += count;
        return bytes;
    }

private:
    void Need(std::uint64_t count) const
    {
        if (count > data.size() - position)
            Bad("cut short");
    }

    const std::string& data;
    std::size_t position = 0;
};

} // namespace

std::string ApplyPatch(const std::string& base, const std::string& patch, std::uint64_t maxSize)
{
    if (patch.compare(0, magic.size(), magic) != 0)
        Bad("no header");
    Reader reader(patch);
    reader.Bytes(magic.size());
    std::string result;
    while (!reader.AtEnd())
    {
        const char operation = reader.Byte();
        std::uint64_t length = 0;
        if (operation == copyOperation)
        {
            const std::uint64_t offset = reader.Number();
            length = reader.Number();
            if (offset > base.size() || length > base.size() - offset)
                Bad("copy outside the base");
            if (length > maxSize - result.size())
                Bad("result too long");
            result.append(base, offset, length);
        }
        else if (operation == insertOperation)
        {
            length = reader.Number();
            if (length > maxSize - result.size())
                Bad("result too long");
            result += reader.Bytes(length);
        }
        else
            Bad("unknown operation");
    }
    return result;
}

} // namespace UpdateSdkStandIn
