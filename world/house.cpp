#include "world/hmGen.h"

#include <string>

namespace HeightmapData {

namespace {

// Rows of each text run from the highest z to the lowest; heights are (w + 1) x (d + 1)
// digits, tiles and orientations w x d characters.
struct HouseTemplate {
    int w, d;
    float scale;
    const char* heights;
    const char* tiles;
    const char* orients;
};

constexpr HouseTemplate HOUSE_TEMPLATES[4] = {
    {18, 18, 6.75f,
     "0000000000000000000"
     "0888000000000008880"
     "0898664466644668980"
     "0888664466644668880"
     "0066444444444446600"
     "0066444444444446600"
     "0044440000000444400"
     "0044440000000444400"
     "0066440088800446600"
     "0066440089800446600"
     "0066440088800446600"
     "0044440000000444400"
     "0044440000000444400"
     "0066444444444446600"
     "0066444444444446600"
     "0888664466644668880"
     "0898664466644668980"
     "0888000000000008880"
     "0000000000000000000",
     "bdcb..........bdcb"
     "caarkomnkjqlpjraad"
     "daaifheiffheifhaac"
     "brhsigeghigeghsirb"
     ".jfheeeeeeeeeeifk."
     ".pigebcdcdcdbegho."
     ".leeed......ceeem."
     ".qhgec.bdcb.degin."
     ".jfied.caad.cehfk."
     ".kfhec.daac.deifj."
     ".niged.bcdb.ceghq."
     ".meeec......deeel."
     ".ohgebdcdcdcbegip."
     ".kfieeeeeeeeeehfj."
     "brishgegihgegishrb"
     "caahfiehffiehfiaad"
     "daarjplqjknmokraac"
     "bcdb..........bcdb",
     "566600000000005666"
     "556766666666665563"
     "503363056630565033"
     "000303000030000043"
     "055300000000005330"
     "050305000000600030"
     "050003000000500030"
     "056603056660505630"
     "055303055630505330"
     "055303050330505330"
     "050303000030500030"
     "050003000000500030"
     "056600666666305630"
     "055300000000005330"
     "526666056660565666"
     "556303050030505563"
     "503300000000001033"
     "000300000000000003"},
    {4, 4, 6.75f, "0000008880089800888000000", "bdcbcaaddaacbcdb", "5666556350330003"},
    {4, 10, 6.75f,
     "00000055500565005550055500575005550055500565005550"
     "00000",
     "bdcbcaaddaacceeddaaccaaddeeccaaddaacbcdb", "5666556350335003556350335003556350330003"},
    {10, 4, 6.75f,
     "00000000000055555555500565575565005555555550"
     "00000000000",
     "bdcdcdcdcbcaaeaaeaaddaaeaaeaacbcdcdcdcdb", "5666666666556056056350300300330000000003"},
};

constexpr bool template_fits(const HouseTemplate& t) {
    auto len = [](const char* s) { return int(std::char_traits<char>::length(s)); };
    return len(t.heights) == (t.w + 1) * (t.d + 1) && len(t.tiles) == t.w * t.d &&
           len(t.orients) == t.w * t.d;
}
static_assert(template_fits(HOUSE_TEMPLATES[0]) && template_fits(HOUSE_TEMPLATES[1]) &&
              template_fits(HOUSE_TEMPLATES[2]) && template_fits(HOUSE_TEMPLATES[3]));

} // namespace

void placeHouse(int x, int z, int kind, float* dst, bool relative) {
    const HouseTemplate& t = HOUSE_TEMPLATES[kind == -1 ? 0 : 1 + unsigned(kind) % 3];
    int x0 = (x - t.w / 2) & (HMAP_SIZE - 1), z0 = (z - t.d / 2) & (HMAP_SIZE - 1);
    int cols = t.w + 1, rows = t.d + 1;

    float sum = 0.0f;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) sum += dst[hm_index(x0 + j, z0 + i)];
    if (relative)
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) {
                char c = t.heights[(t.d - i) * cols + j];
                if (c >= '0' && c <= '9') sum -= float(c - '0') * t.scale / 9.0f;
            }
    float base = sum / float(rows * cols);

    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            char c = t.heights[(t.d - i) * cols + j];
            if (c >= '0' && c <= '9')
                dst[hm_index(x0 + j, z0 + i)] = float(c - '0') * t.scale / 9.0f + base;
        }

    for (int i = 0; i < t.d; ++i)
        for (int j = 0; j < t.w; ++j) {
            int at = (t.d - 1 - i) * t.w + j;
            char c = t.tiles[at];
            if (c < 'a' || c > 'z') continue;
            Surface& s = surface[hm_index(x0 + j, z0 + i)];
            s.ground_type = GT_HOUSE;
            s.surf_type = ST_OPEN;
            s.surf_color = 0;
            s.tile = unsigned(c - 'a');
            s.tile_rot = unsigned(t.orients[at]) & 7;
        }
}

} // namespace HeightmapData
