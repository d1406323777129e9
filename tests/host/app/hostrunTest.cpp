#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "host/io/png.h"

namespace {

class Hostrun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "hostrun_" + std::to_string(getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::system(("mkdir -p '" + dir + "'").c_str());
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dir + "/" + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Runs hostrun from the test folder (not where the UI script is); stdout goes to out.txt.
    int run(const std::string& args) const {
        const std::string cmd = "cd '" + dir + "' && '" HOSTRUN_PATH "' " + args + " > out.txt 2> err.txt";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
};

TEST_F(Hostrun, RunsScriptsAndCommandsInOrder) {
    write("s.mel",
          "string $n = `toyCmd -s made -d 2`;\n"
          "print (\"B\" + `getAttr made.output` + \"\\n\");\n"
          "undo; print (`ls -type toyNode`); redo; showWindow toyWindow;\n"
          "string $all[] = `ls -type toyNode`; print (\"C\" + $all[0] + \"\\n\");\n");
    EXPECT_EQ(run("--plugin '" TOY_MODULE_PATH "' -c 'print \"A\\n\"' s.mel --log log.txt"), 0) << read("err.txt");
    EXPECT_EQ(read("out.txt"), "A\nB4\nCmade\n");
    const std::string log = read("log.txt");
    EXPECT_NE(log.find("A\n"), std::string::npos);
    // Interface commands, the module's and the script's, are in the log as recorded.
    EXPECT_NE(log.find("Recorded: dynPref -autoCreate off\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Recorded: showWindow toyWindow\n"), std::string::npos);
    const auto exiting = log.find("Info: toy exiting");
    const auto unloaded = log.find("Info: toy unloaded");
    ASSERT_NE(exiting, std::string::npos);
    ASSERT_NE(unloaded, std::string::npos);
    EXPECT_LT(exiting, unloaded);  // message 29 before the modules go
    EXPECT_EQ(log.find("Error"), std::string::npos);
}

TEST_F(Hostrun, BatchModeAndExitCodes) {
    EXPECT_EQ(run("--batch --plugin '" TOY_MODULE_PATH "' -c 'print `window -ex MayaWindow`'"), 0);
    EXPECT_EQ(read("out.txt"), "\nToy batch bake utility\n0");
    EXPECT_EQ(run("-c 'print \"1\"; noSuchProc; print \"2\"' -c 'print \"3\"'"), 1);
    EXPECT_EQ(read("out.txt"), "1");
    EXPECT_NE(read("err.txt").find("Cannot find procedure \"noSuchProc\"."), std::string::npos);
    EXPECT_EQ(run("--bogus"), 2);
    EXPECT_EQ(run("--plugin"), 2);
    EXPECT_EQ(run("missing.mel"), 1);
    // Going on past failures: each text runs to its own first failure, the save still
    // happens, and the exit code tells that something failed.
    EXPECT_EQ(run("--keep-going -c 'print \"1\"; noSuchProc; print \"2\"' -c 'print \"3\"' --save k.scene"), 1);
    EXPECT_EQ(read("out.txt"), "13");
    EXPECT_FALSE(read("k.scene").empty());
}

TEST_F(Hostrun, TraceWritesTheModulesCommandsOnePerLine) {
    EXPECT_EQ(run("--plugin '" TOY_MODULE_PATH "' --trace trace.txt -c 'createNode toyNode; delete toyNode1'"), 0)
        << read("err.txt");
    EXPECT_EQ(read("trace.txt"),
              "source zylProUI_35.mel\nwindow -ex MayaWindow\nzylUI_initialize\ndynPref -autoCreate off\n"
              "print \"toy node gone\\n\"\n"                                     // queued on idle
              "displayColor -dormant \"grid\" 3\nsavePrefs -colors\n"             // at exit
              "deleteAllBodiesFromZylWorldWithoutConfirm\n");                     // at unload
    EXPECT_EQ(run("--trace"), 2);
}

TEST_F(Hostrun, FramesWriteObjAndTransformFiles) {
    const std::string script = write("scene.mel",
                                     "makeMesh -cube -n box;\n"
                                     "setKeyframe -t 1 -v 0 -at translateX box;\n"
                                     "setKeyframe -t 10 -v 18 -at translateX box;\n"
                                     "makeMesh -plane -n hidden; hide hidden;\n");
    const std::string then = write("then.mel", "print `currentTime -q`;\n");
    ASSERT_EQ(run("--batch --frames 1:10 --out out --obj --csv --then then.mel scene.mel"), 0) << read("err.txt");
    for (int f = 1; f <= 10; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "out/frame_%04d.obj", f);
        const std::string obj = read(name);
        EXPECT_NE(obj.find("o |box|boxShape"), std::string::npos) << name;
        EXPECT_EQ(obj.find("hidden"), std::string::npos) << name;
    }
    EXPECT_NE(read("out/frame_0010.obj").find("v 17.5 -0.5 0.5"), std::string::npos);
    const std::string csv = read("out/transforms.csv");
    EXPECT_EQ(csv.rfind("frame,node,tx", 0), 0u);
    EXPECT_NE(csv.find("\n2,box,2,0,0,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n10,box,18,0,0,"), std::string::npos);
    EXPECT_EQ(read("out.txt"), "10");  // the script after the loop sees the final state
    EXPECT_EQ(run("--frames 3"), 2);
}

TEST_F(Hostrun, KeyedChannelsReadTheirKeysAndWholeStepsExactly) {
    // One unit a frame up to 7 at frame 8, then down to -5 at frame 20.
    write("keys.mel",
          "createNode transform -n box;\n"
          "setKeyframe -t 1 -v 0 box.translateX; setKeyframe -t 8 -v 7 box.translateX;\n"
          "setKeyframe -t 20 -v -5 box.translateX;\n");
    for (const char* out : {"a", "b"})
        ASSERT_EQ(run(std::string("--batch --frames 1:20 --csv keys.mel --out ") + out), 0) << read("err.txt");
    const std::string csv = read("a/transforms.csv");
    for (int f = 1; f <= 20; ++f) {
        char row[32];
        std::snprintf(row, sizeof row, "\n%d,box,%d,0,0,", f, f <= 8 ? f - 1 : 15 - f);
        EXPECT_NE(csv.find(row), std::string::npos) << row << csv;
    }
    EXPECT_EQ(csv, read("b/transforms.csv"));  // repeat runs match byte for byte
}

TEST_F(Hostrun, SavedSceneReopensToTheSameObj) {
    write("scene.mel",
          "makeMesh -cube -n box;\n"
          "setKeyframe -t 1 -v 0 -at translateX box;\n"
          "setKeyframe -t 4 -v 6 -at translateX box;\n"
          "makeMesh -plane -n flat; hide flat;\n");
    ASSERT_EQ(run("--batch --frames 4:4 --out a --obj --save s.scene scene.mel"), 0) << read("err.txt");
    ASSERT_EQ(run("--batch --open s.scene --frames 4:4 --out b --obj --save t.scene"), 0) << read("err.txt");
    EXPECT_FALSE(read("a/frame_0004.obj").empty());
    EXPECT_EQ(read("a/frame_0004.obj"), read("b/frame_0004.obj"));
    EXPECT_EQ(read("s.scene"), read("t.scene"));
}

TEST_F(Hostrun, ModuleMadeShardsReopenToTheSameObj) {
    // Meshes made through the mesh function set, faces tagged and shaded by the module.
    write("shards.mel", "toyShards -c 3;\n");
    const std::string plugin = "--batch --plugin '" TOY_MODULE_PATH "' ";
    ASSERT_EQ(run(plugin + "--frames 1:1 --out a --obj --save s.scene shards.mel"), 0) << read("err.txt");
    ASSERT_EQ(run(plugin + "--open s.scene --frames 1:1 --out b --obj --save t.scene"), 0) << read("err.txt");
    const std::string scene = read("s.scene");
    EXPECT_NE(scene.find("blindDataType -id 70111001"), std::string::npos);
    EXPECT_NE(scene.find("\n  b 70111001 541 2 \"cellId\" 3;"), std::string::npos);
    EXPECT_NE(scene.find("connectAttr \"meshShape3.instObjGroups[0]\" \"toyShardSG.dagSetMembers[2]\";"),
              std::string::npos);
    EXPECT_NE(read("a/frame_0001.obj").find("o |mesh3|meshShape3"), std::string::npos);
    EXPECT_EQ(read("a/frame_0001.obj"), read("b/frame_0001.obj"));
    EXPECT_EQ(scene, read("t.scene"));
}

TEST_F(Hostrun, FramesWritePicturesUnlessBatch) {
    write("scene.mel", "makeMesh -cube -n box;\ncreateNode toyDrawLocator;\n");
    const std::string plugin = "--plugin '" TOY_MODULE_PATH "' ";
    ASSERT_EQ(run(plugin + "--frames 1:3 --out out --obj --png --size 40x30 --fit scene.mel"), 0) << read("err.txt");
    if (read("err.txt").find("No 3D view") != std::string::npos) GTEST_SKIP() << read("err.txt");
    for (int f = 1; f <= 3; ++f) {
        host::io::RgbaImage image;
        ASSERT_TRUE(host::io::readPng(dir + "/out/frame_000" + std::to_string(f) + ".png", image)) << f;
        EXPECT_EQ(image.width, 40);
        EXPECT_EQ(image.height, 30);
        EXPECT_FALSE(read("out/frame_000" + std::to_string(f) + ".obj").empty());
    }
    EXPECT_EQ(run(plugin + "--batch --frames 1:3 --out quiet --obj --png scene.mel"), 0) << read("err.txt");
    EXPECT_NE(read("err.txt").find("Warning: --png: no pictures in batch mode"), std::string::npos) << read("err.txt");
    EXPECT_FALSE(std::ifstream(dir + "/quiet/frame_0001.png").good());
    EXPECT_TRUE(std::ifstream(dir + "/quiet/frame_0001.obj").good());
    EXPECT_EQ(run("--size 0x10"), 2);
}

TEST_F(Hostrun, TellsANewcomerWhatItDoesAndWhatIsWrong) {
    EXPECT_EQ(run("--help"), 0);
    for (const char* option : {"--batch", "--plugin PATH", "--script-path DIR", "-c MEL", "--open FILE", "--save FILE",
                               "--frames A:B", "--out DIR", "--obj", "--csv", "--png", "--size WxH", "--fit",
                               "--confirm ANSWER", "--log FILE", "--then FILE", "--help"})
        EXPECT_NE(read("out.txt").find("\n  " + std::string(option) + " "), std::string::npos) << option;
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(read("err.txt").rfind("usage: hostrun", 0), 0u);
    const std::pair<const char*, const char*> usage[] = {
        {"--frames 5:1", "the first frame comes after the last"},
        {"--frames 2147483647:2147483647", "frames lie between"},
        {"--out '' --obj", "--out needs a folder name"}};
    for (const auto& [args, error] : usage) {
        EXPECT_EQ(run(args), 2) << args;
        EXPECT_NE(read("err.txt").find(error), std::string::npos) << read("err.txt");
    }
    // Without --frames the outputs are the current frame's; errors name file and line.
    write("s.mel", "makeMesh -cube -n box;\ncurrentTime 3;\n\nsetAttr box.tx nan;\n");
    EXPECT_EQ(run("--batch --obj -c 'makeMesh -cube -n box; currentTime 3'"), 0) << read("err.txt");
    EXPECT_NE(read("frame_0003.obj").find("o |box|boxShape"), std::string::npos);
    EXPECT_EQ(run("--batch s.mel"), 1);
    EXPECT_EQ(read("err.txt").rfind("s.mel:4: Error: setAttr: 'box.tx' needs a finite number", 0), 0u) << read("err.txt");
    std::system(("mkdir -p '" + dir + "/folder'").c_str());
    EXPECT_EQ(run("--batch folder"), 1);
    EXPECT_NE(read("err.txt").find("not a regular file"), std::string::npos);
}

}  // namespace
