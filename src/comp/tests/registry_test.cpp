// The component registry file: where it lives by the environment, reading (missing, malformed,
// unreadable and oversized files), writing and reading back, failed saves keeping the old file,
// and class records found by ProgID and by class id.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comp_registry.h"
#include "testkit_files.h"

namespace comp {
namespace {

// Sets or clears an environment variable for the life of the object, restoring it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value) : name_(name) {
    if (const char *old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char *name_;
  std::optional<std::string> old_;
};

TEST(RegistryTest, DefaultPathFollowsTheEnvironment) {
  struct Case {
    const char *registry, *config, *home, *path;
  };
  const Case cases[] = {
      {"/r/file.ini", "/c", "/h", "/r/file.ini"},
      {"", "/c", "/h", "/c/norvview/registry.ini"},
      {nullptr, "/c", "/h", "/c/norvview/registry.ini"},
      {nullptr, "relative", "/h", "/h/.config/norvview/registry.ini"},  // not absolute: ignored
      {nullptr, nullptr, "/h", "/h/.config/norvview/registry.ini"},
      {nullptr, nullptr, nullptr, ""},
  };
  for (const Case &c : cases) {
    ScopedEnv registry(kRegistryPathVariable, c.registry);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(Registry::defaultPath(), c.path);
  }
}

Registry sample() {
  Registry r;
  r.put({classSectionName("{A}"),
         {{"ProgID", "Some.Thing.1"},
          {"TypeName", "Some Thing"},
          {"Module", "/lib/some thing.so"},
          {"ThreadingModel", "Apartment"},
          {"MiscStatus", "0x20191"},
          {"TypeLib", "{T}"},
          {"Version", "1.0"},
          {"Empty", ""},
          {"Equals", "a=b"}}});
  r.put({typeLibSectionName("{T}", 1, 0), {{"Name", "SOMELib"}}});
  r.put({classSectionName("{B}"), {{"ProgID", "Other.Thing.2"}}});
  return r;
}

TEST(RegistryTest, SavesAndReadsBack) {
  norvtest::TempDir dir("registry");
  const std::string path = dir.file("deep/er/registry.ini");
  const Registry written = sample();
  ASSERT_TRUE(written.save(path));
  Registry read;
  ASSERT_TRUE(read.load(path));
  EXPECT_EQ(read, written);
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));

  ClassRecord record;
  ASSERT_TRUE(read.findClassByProgId("Some.Thing.1", &record));
  EXPECT_EQ(record.classId, "{A}");
  EXPECT_EQ(record.typeName, "Some Thing");
  EXPECT_EQ(record.modulePath, "/lib/some thing.so");
  EXPECT_EQ(record.threadingModel, "Apartment");
  EXPECT_EQ(record.miscStatus, 0x20191u);
  EXPECT_EQ(record.typeLibId, "{T}");
  EXPECT_EQ(record.typeLibVersion, "1.0");
  ASSERT_TRUE(read.findClassByProgId("Other.Thing.2", &record));
  EXPECT_EQ(record.classId, "{B}");
  EXPECT_EQ(record.miscStatus, 0u);
  EXPECT_FALSE(read.findClassByProgId("SOMELib", &record));  // only class sections
  EXPECT_FALSE(read.findClassByProgId("some.thing.1", &record));
  EXPECT_FALSE(read.findClass("{C}", &record));

  // Replacing keeps the place; removing leaves the rest.
  read.put({classSectionName("{A}"), {{"ProgID", "Some.Thing.9"}}});
  EXPECT_EQ(read.sections()[0].values.size(), 1u);
  EXPECT_TRUE(read.remove(typeLibSectionName("{T}", 1, 0)));
  EXPECT_FALSE(read.remove(typeLibSectionName("{T}", 1, 0)));
  EXPECT_EQ(read.sections().size(), 2u);
}

TEST(RegistryTest, ReadsWhatItAccepts) {
  struct Case {
    const char *text;
    bool ok;
    size_t sections;
  };
  const Case cases[] = {
      {"", true, 0},
      {"# comment\n; comment\n\n[S]\nk=v\r\nk2=\n", true, 1},
      {"[S]\nk=v", true, 1},  // no final newline
      {"[S]\n[T]\n", true, 2},
      {"k=v\n[S]\n", false, 0},  // a value outside any section
      {"[S]\nno equals sign\n", false, 0},
      {"[S]\n=v\n", false, 0},
      {"[]\n", false, 0},
      {"[S\nk=v\n", false, 0},
  };
  norvtest::TempDir dir("registry");
  for (const Case &c : cases) {
    const std::string path = dir.file("r.ini");
    ASSERT_TRUE(norvtest::writeFile(path, std::string(c.text)));
    Registry r = sample();
    EXPECT_EQ(r.load(path), c.ok) << c.text;
    EXPECT_EQ(r.sections().size(), c.ok ? c.sections : sample().sections().size()) << c.text;
  }
}

TEST(RegistryTest, RefusesWhatItCannotRead) {
  norvtest::TempDir dir("registry");
  Registry r = sample();
  // A missing file is an empty registry.
  ASSERT_TRUE(r.load(dir.file("none.ini")));
  EXPECT_TRUE(r.sections().empty());
  r = sample();
  EXPECT_FALSE(r.load(dir.path()));  // a directory
  ASSERT_TRUE(norvtest::writeFile(dir.file("plain"), std::string("x")));
  EXPECT_FALSE(r.load(dir.file("plain/registry.ini")));  // a file where a directory should be
  EXPECT_FALSE(r.load(""));
  const std::string big = "[S]\nk=" + std::string(1 << 20, 'v') + "\n";
  ASSERT_TRUE(norvtest::writeFile(dir.file("big.ini"), big));
  EXPECT_FALSE(r.load(dir.file("big.ini")));
  EXPECT_EQ(r, sample());
}

TEST(RegistryTest, FailedSavesKeepTheOldFile) {
  norvtest::TempDir dir("registry");
  const std::string path = dir.file("registry.ini");
  ASSERT_TRUE(sample().save(path));
  bool ok = false;
  const std::vector<uint8_t> before = norvtest::readFile(path, &ok);
  ASSERT_TRUE(ok);

  Registry bad;
  bad.put({"S", {{"k", "two\nlines"}}});
  EXPECT_FALSE(bad.save(path));
  Registry badName;
  badName.put({"S]", {{"k", "v"}}});
  EXPECT_FALSE(badName.save(path));
  Registry badKey;
  badKey.put({"S", {{"#k", "v"}}});
  EXPECT_FALSE(badKey.save(path));

  // The new file cannot be made.
  std::filesystem::create_directory(path + ".new");
  EXPECT_FALSE(Registry().save(path));
  EXPECT_FALSE(Registry().save(path));  // the obstacle stays
  EXPECT_TRUE(std::filesystem::is_directory(path + ".new"));
  EXPECT_EQ(norvtest::readFile(path, &ok), before);
  // Nor the directory.
  ASSERT_TRUE(norvtest::writeFile(dir.file("plain"), std::string("x")));
  EXPECT_FALSE(sample().save(dir.file("plain/registry.ini")));
  EXPECT_FALSE(sample().save(""));
}

// Saves from several threads at once: the registry ends as one of them, whole, and no new
// file is left over.
TEST(RegistryTest, ConcurrentSavesLeaveOneWholeFile) {
  norvtest::TempDir dir("registry");
  const std::string path = dir.file("registry.ini");
  constexpr int kThreads = 8;
  std::vector<Registry> versions(kThreads);
  for (int t = 0; t < kThreads; ++t)
    versions[t].put({"Class {" + std::to_string(t) + "}",
                     {{"ProgID", std::string(4000 + 500 * t, static_cast<char>('a' + t))}}});
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) EXPECT_TRUE(versions[t].save(path));
    });
  for (std::thread &t : threads) t.join();
  Registry read;
  ASSERT_TRUE(read.load(path));
  EXPECT_NE(std::find(versions.begin(), versions.end(), read), versions.end());
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

}  // namespace
}  // namespace comp
