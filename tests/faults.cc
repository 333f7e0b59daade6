#include "tests/faults.h"

#include <map>
#include <utility>

namespace nest::testing {

namespace {

constexpr std::string_view kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

}  // namespace

const Program& idlnest() {
  static const Program program{
      "idlnest",
      IDLNEST_PATH,
      true,
      {"IDL source file Name", "Output file (blank=screen)",
       "Column in which to write line #'s(0 for none; 80?)",
       "Use IBM PC graphics characters (0=no)", "Should I warn if \"end\" ends if, for... (0=no)",
       "Maximum line length without warning(160?)", "Should I warn about unclosed quotes(0=no)"},
      13,
      "pro p\n  if a then begin\n    b = 1\n  endif\nend\n",
      crlf(" /---------- pro p\n"
           " |/----------- if a then begin\n"
           " ||              b = 1\n"
           " |\\----------- endif\n"
           " \\---------- end\n"),
  };
  return program;
}

const Program& cnest() {
  static const Program program{
      "cnest",
      CNEST_PATH,
      false,
      {"C source filename", "Output file (blank=screen)?",
       "Column in which to write line #'s(80, 0 for none; 80?)",
       "Use IBM PC graphics characters (0=no)", "Maximum line length without warning(120?)"},
      11,
      "int f()\n{\n  if (a) {\n    b = 1;\n  }\n}\n",
      crlf("             int f()\n"
           "    /------- {\n"
           "    |/-------- if (a) {\n"
           "    ||           b = 1;\n"
           "    |\\-------- }\n"
           "    \\------- }\n"),
  };
  return program;
}

std::vector<std::string> dialogue(const Program& program, const Answers& a) {
  if (program.idl) {
    return {a.source, a.output, a.numcol, a.ibmpc, a.warnend, a.maxlen, a.warnquote};
  }
  return {a.source, a.output, a.numcol, a.ibmpc, a.maxlen};
}

std::string console_input(const Program& program, const Answers& a) {
  return answers(dialogue(program, a));
}

std::string dialogue_shown(const Program& p, const Answers& a) {
  const std::vector<std::string> typed = dialogue(p, a);
  const std::vector<int> defaults =
      p.idl ? std::vector<int>{0, 0, 0, 0, 0, 160, 0} : std::vector<int>{0, 0, 0, 0, 120};
  std::string out;
  for (std::size_t k = 0; k < typed.size(); ++k) {
    out += " " + p.prompts[k] + ":\r\n";
    if (k < 2) {
      out += " " + (typed[k].empty() ? std::string(" ") : typed[k]) + "\r\n";
    } else {
      const std::string value = typed[k] == "/" ? std::to_string(defaults[k]) : typed[k];
      out += std::string(12 - value.size(), ' ') + value + "\r\n";
    }
  }
  return out;
}

std::string listing_start(const Program& program, std::string_view source) {
  return crlf(" \f=============--" + std::string(source) + "--=============\n" +
              std::string(static_cast<std::size_t>(program.ruler_indent), ' ') +
              std::string(kRuler) + "\n\n");
}

std::vector<std::string_view> records(std::string_view bytes) {
  std::vector<std::string_view> out;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find("\r\n");
    if (end == std::string_view::npos) {
      out.push_back(bytes);
      break;
    }
    out.push_back(bytes.substr(0, end));
    bytes.remove_prefix(end + 2);
  }
  return out;
}

std::string fatal(const Program& p, std::string_view text) {
  return p.name + ": " + std::string(text) + "\n";
}

Left listing(std::string bytes) {
  return [bytes = std::move(bytes)](const Scene& scene) {
    ASSERT_TRUE(scene.dir.exists("o.lst"));
    const std::string got = scene.dir.read("o.lst");
    EXPECT_EQ(got.size(), bytes.size());
    EXPECT_TRUE(got == bytes) << got.substr(0, 3000);
  };
}

Left file_holds(std::string name, std::string bytes, std::string mode) {
  return [name = std::move(name), bytes = std::move(bytes),
          mode = std::move(mode)](const Scene& scene) {
    ASSERT_TRUE(scene.dir.exists(name)) << name;
    const std::string got = scene.dir.read(name);
    EXPECT_TRUE(got == bytes) << name << " holds\n" << got.substr(0, 3000);
    if (!mode.empty()) {
      EXPECT_EQ(mode_of(scene.dir / name), mode) << name;
    }
  };
}

Left same_listing_as(const Program& program, Answers reference) {
  return [&program, reference = std::move(reference)](const Scene& scene) {
    const TempDir other;
    other.write("s", scene.dir.read("s"));
    const Outcome outcome = run(program.path, console_input(program, reference), other.path());
    ASSERT_EQ(outcome.status, 0) << outcome.error;
    EXPECT_EQ(scene.dir.read("o.lst"), other.read("o.lst"));
  };
}

Left all_fed(std::size_t bytes, Left then) {
  return [bytes, then = std::move(then)](const Scene& scene) {
    EXPECT_EQ(scene.fed, bytes);
    then(scene);
  };
}

Shown echoed(std::string echo) {
  return [echo = std::move(echo)](const std::string& output) {
    EXPECT_NE(output.find("\r\n " + echo + "\r\n"), std::string::npos) << output;
    std::string rest = output;
    for (std::size_t at = rest.find("\r\n"); at != std::string::npos; at = rest.find("\r\n", at)) {
      rest.erase(at, 2);
    }
    for (const char c : rest) {
      const auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(byte >= 32 && byte != 127) << static_cast<int>(byte) << " in " << output;
    }
  };
}

Prepare small_source(const Program& p) {
  return [&p](Scene& scene) { scene.write("s", p.small_source); };
}

Prepare small_source_and_listing(const Program& p, std::string old) {
  return [&p, old = std::move(old)](Scene& scene) {
    scene.write("s", p.small_source);
    scene.write("o.lst", old);
  };
}

std::string large_source(const Program& p) {
  std::string source;
  for (int k = 0; k < 20'000; ++k) {
    source += p.small_source;
  }
  return source;
}

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.program->name << "_" << row.name;
}

std::vector<Row> rows_of(void (*add)(const Program&, std::vector<Row>&)) {
  std::vector<Row> rows;
  for (const Program* p : {&idlnest(), &cnest()}) {
    add(*p, rows);
  }
  return rows;
}

std::string row_name(const ::testing::TestParamInfo<Row>& param) {
  return param.param.program->name + "_" + param.param.name;
}

TEST_P(FaultTest, EndsAsExpectedAndLosesNothing) {
  const Row& row = GetParam();
  Scene scene;
  if (row.prepare) {
    row.prepare(scene);
  }
  if (!scene.skipped.empty()) {
    GTEST_SKIP() << scene.skipped;
  }
  // The one file the row may change is looked at by its own check instead.
  const std::map<std::string, std::string> before = snapshot(scene.dir.path(), row.changes);

  const Outcome outcome = run(row.program->path, row.input, scene.dir.path(),
                              row.run_options ? row.run_options(scene) : row.options);
  scene.finish_feeding();
  EXPECT_EQ(outcome.status, row.status);
  EXPECT_EQ(outcome.error, row.error);
  EXPECT_FALSE(outcome.waited_in_vain) << "what the program had to show before it waited for "
                                          "something was not shown";
  if (row.left) {
    row.left(scene);
  }
  if (row.shown) {
    row.shown(outcome.output);
  }
  if (row.max_rss_mib != 0) {
    EXPECT_LT(outcome.max_rss_kib, row.max_rss_mib * 1024);
  }

  EXPECT_EQ(differences(before, snapshot(scene.dir.path(), row.changes)), "");
}

}  // namespace nest::testing
