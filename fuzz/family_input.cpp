#include "family_input.h"

#include "base/errore.h"

#include <cctype>

namespace korva::fuzz {

bool isXExtension(std::string_view e)
{
    auto hex = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F'); };
    if (e.size() != 3 || e[0] != 'X')
        return false;
    return e[1] == 'G' ? hex(e[2]) : hex(e[1]) && hex(e[2]) && e.substr(1) != "00";
}

Family unpack(std::string_view input)
{
    Family f;
    std::string* parts[] = {&f.xExtension, &f.db, &f.px, &f.mb, &f.x, &f.y, &f.val};
    for (std::string* part : parts) {
        const auto end = input.find(kSeparator);
        part->assign(input.substr(0, end));
        if (end == std::string_view::npos)
            break;
        input.remove_prefix(end + kSeparator.size());
    }
    return f;
}

void install(const Family& f, MemEnv& env)
{
    env.put("./T.DB", f.db);
    auto putIf = [&](const std::string& extension, const std::string& bytes) {
        if (!bytes.empty())
            env.put("./T." + extension, bytes);
    };
    putIf("PX", f.px);
    putIf("MB", f.mb);
    putIf("VAL", f.val);
    if (isXExtension(f.xExtension)) {
        putIf(f.xExtension, f.x);
        std::string yExtension = f.xExtension;
        yExtension[0] = 'Y';
        putIf(yExtension, f.y);
    }
}

std::string pack(const Family& f)
{
    std::string out = f.xExtension;
    for (const std::string* part : {&f.db, &f.px, &f.mb, &f.x, &f.y, &f.val}) {
        if (part->find(kSeparator) != std::string::npos)
            throw Error("Un file della famiglia contiene il separatore degli ingressi");
        out += kSeparator;
        out += *part;
    }
    return out;
}

}  // namespace korva::fuzz
