// kiv_tlbgen OUTPUT: writes kivLib's type library image (.tlb) to OUTPUT at build time. The
// file is written beside and renamed into place, so a failed run never leaves half an image.
#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/oleaut/typelib_image.h"
#include "server/typelib/kiv_typelib.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kiv_tlbgen OUTPUT\n");
        return 2;
    }
    const std::string output = argv[1];
    const std::string temporary = output + ".tmp";
    try {
        const auto image =
            comrt::write_typelib_image(comrt::typelib_model_from_desc(KivTypeLibDesc()));
        {
            std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(image.data()),
                       static_cast<std::streamsize>(image.size()));
            file.close();
            if (!file)
                throw std::runtime_error("cannot write " + temporary);
        }
        if (std::rename(temporary.c_str(), output.c_str()) != 0)
            throw std::runtime_error("cannot rename " + temporary + " to " + output);
        return 0;
    } catch (const std::exception& e) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "kiv_tlbgen: %s\n", e.what());
        return 1;
    }
}
