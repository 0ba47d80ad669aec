# Turns the default screen bitmaps into a C++ source so the core needs no files at run time.
# Called as: cmake -DOUTPUT=file.cpp -DINPUTS="a.bmp;b.bmp" -P EmbedAssets.cmake
# Each input is named after its asset number (370.bmp).
set(body "")
set(table "")
foreach(input IN LISTS INPUTS)
    get_filename_component(number "${input}" NAME_WE)
    file(READ "${input}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND body "const std::uint8_t kAsset${number}[] = {${bytes}};\n")
    string(APPEND table "    {${number}, kAsset${number}, sizeof kAsset${number}},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from assets/screens by cmake/EmbedAssets.cmake; do not edit.
#include \"screens/default_sets.h\"

#include <cstddef>

namespace {

${body}
struct Asset {
    int number;
    const std::uint8_t* bytes;
    std::size_t size;
};

const Asset kAssets[] = {
${table}    {0, nullptr, 0},
};

} // namespace

std::span<const std::uint8_t> DefaultAssetBytes(int asset)
{
    for (const Asset& a : kAssets) {
        if (a.number == asset && a.bytes)
            return {a.bytes, a.size};
    }
    return {};
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
