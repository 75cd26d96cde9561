// The JSON sidecar of a height file: what is written is read back exactly, and what is not a
// sidecar of this map is refused with the reason.
#include "tests/common/CliRunner.h"
#include "tools/MapSidecar.h"

using testcli::WriteText;

using MapSidecar = testcli::ScratchFolderTest;

TEST_F(MapSidecar, ReadsBackWhatItWroteExactly)
{
    EXPECT_EQ(MapSidecarPath("maps/dem.dat"), "maps/dem.dat.json");
    EXPECT_EQ(MapSidecarPath("maps/dem_w.dat"), "maps/dem.dat.json");

    MapGeoReference geo;
    const double transform[6] = {500000.1, 30.000000000000004, 0, 4600000, 0, -30.000000000000004};
    std::copy(std::begin(transform), std::end(transform), geo.geoTransform);
    geo.projectionWkt = "PROJCS[\"a \\\"quoted\\\" name\"]";
    geo.hasMapping = true;
    geo.gain = 0.0015258886852862498;
    geo.offset = -120.5;
    Status error;
    ASSERT_TRUE((error = WriteMapSidecar(path("dem.dat.json"), geo, 300, 280, "dem.tif")).ok()) << error.message;

    MapGeoReference back;
    ASSERT_TRUE((error = ReadMapSidecar(path("dem.dat.json"), 300, 280, back)).ok()) << error.message;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(back.geoTransform[i], transform[i]) << i;
    EXPECT_EQ(back.projectionWkt, geo.projectionWkt);
    EXPECT_TRUE(back.hasMapping);
    EXPECT_EQ(back.gain, geo.gain);
    EXPECT_EQ(back.offset, geo.offset);

    geo.hasMapping = false;
    ASSERT_TRUE((error = WriteMapSidecar(path("plain.dat.json"), geo, 300, 280, "dem.tif")).ok()) << error.message;
    ASSERT_TRUE((error = ReadMapSidecar(path("plain.dat.json"), 300, 280, back)).ok()) << error.message;
    EXPECT_FALSE(back.hasMapping);
}

TEST_F(MapSidecar, RefusesOtherMapsAndOtherFiles)
{
    MapGeoReference geo;
    Status error;
    ASSERT_TRUE((error = WriteMapSidecar(path("dem.dat.json"), geo, 300, 280, "dem.tif")).ok()) << error.message;
    EXPECT_FALSE((error = ReadMapSidecar(path("dem.dat.json"), 257, 257, geo)).ok());
    EXPECT_EQ(error.message,
              path("dem.dat.json") +
                  ": it describes a map of 300 x 280 samples and the height file has 257 x 257: not the same map");

    const struct
    {
        const char* text;
        const char* reason;
    } cases[] = {
        {"not json", "not a map sidecar of Altimo"},
        {R"({"kind": "something else"})", "not a map sidecar of Altimo"},
        {R"({"kind": "altimo map", "version": 2, "width": 300, "height": 280})", "sidecar version 2"},
        {R"({"kind": "altimo map", "version": 1, "width": 300, "height": 280, "geoTransform": [1, 2]})",
         "geoTransform is not a list of 6 numbers"},
        {R"({"kind": "altimo map", "version": 1, "width": 300, "height": 280, "geoTransform": [1,2,3,4,5,6],
             "heights": {"gain": "x"}})",
         "heights needs a gain and an offset"},
    };
    for (const auto& c : cases)
    {
        WriteText(path("bad.dat.json"), c.text);
        EXPECT_FALSE((error = ReadMapSidecar(path("bad.dat.json"), 300, 280, geo)).ok()) << c.text;
        EXPECT_NE(error.message.find(path("bad.dat.json") + ": " + c.reason), std::string::npos) << error.message;
    }
    EXPECT_FALSE((error = ReadMapSidecar(path("none.dat.json"), 300, 280, geo)).ok());
    EXPECT_EQ(error.message, path("none.dat.json") + ": cannot open the file: No such file or directory");
}
