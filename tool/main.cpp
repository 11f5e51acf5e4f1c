// edog-tool: builds, checks, queries and compares camera data files, and
// replays recorded drives through the warner. Usage errors: exit status 2;
// failures: one line on standard error naming the file, exit status 1.
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "tool/cli_checks.h"
#include "tool/commands.h"
#include "tool/output.h"
#include "tool/tool.h"
#include <CLI/CLI.hpp>

namespace {

using namespace edog_tool;

constexpr int kUsageError = 2;
// Farther than any two places on the earth are apart.
constexpr double kHalfTheEarthM = 20'100'000.0;

// Ranges of the warner's settings: warning distances within the warner's
// search reach, speeds and margins a road can have (sums stay far from any
// overflow).
constexpr double kMaxLeadTimeS = 120.0;
constexpr int kMaxKmh = 500;

void add_warner_options(CLI::App& cmd, EDOG_WARN_CONFIG& c) {
    const double reach = c.rearm_m;
    cmd.add_option("--lead-time", c.lead_time_s, "Seconds of travel a warning comes ahead")
        ->capture_default_str()
        ->check(finite_in(0.0, kMaxLeadTimeS));
    cmd.add_option("--min-warn", c.min_warn_m,
                   "Least warning distance, metres (at most --max-warn)")
        ->capture_default_str()
        ->check(finite_in(0.0, reach));
    cmd.add_option("--max-warn", c.max_warn_m,
                   "Greatest warning distance, metres (at most the search reach)")
        ->capture_default_str()
        ->check(finite_in(0.0, reach));
    cmd.add_option("--heading-tolerance", c.heading_tolerance_deg,
                   "Degrees between course and a camera's direction")
        ->capture_default_str()
        ->check(finite_in(0.0, 180.0));
    cmd.add_option("--overspeed-margin", c.overspeed_margin_kmh,
                   "km/h above the limit before over-speed is reported")
        ->capture_default_str()
        ->check(CLI::Range(0, kMaxKmh));
    cmd.add_option("--min-speed", c.min_speed_kmh, "No new warning below this speed, km/h")
        ->capture_default_str()
        ->check(CLI::Range(0, kMaxKmh));
    cmd.add_flag("--warn-all-directions", c.warn_all_directions_type,
                 "Warn cameras of DirType 0 too");
}

void check_warner_options(const EDOG_WARN_CONFIG& c) {
    if (c.min_warn_m > c.max_warn_m) {
        throw UsageError("--min-warn " + shortest(c.min_warn_m) + " is above --max-warn " +
                         shortest(c.max_warn_m));
    }
}

// One subcommand: its parsed form, and what runs it with the options given.
struct Command {
    CLI::App* app;
    std::function<int()> run;
};

// Each adds one subcommand; its options live as long as the returned action.
Command add_build(CLI::App& app) {
    auto o = std::make_shared<BuildOptions>();
    CLI::App* cmd = app.add_subcommand("build", "Build a data file from a camera list");
    cmd->add_option("LIST", o->list,
                    "Camera list (Idex,longitude,latitude,Type,Speed,"
                    "DirType,Direction per line)")
        ->required();
    cmd->add_option("-o,--output", o->output, "Data file to write")->required();
    cmd->add_option("--zones", o->zones,
                    "Zones list (ZoneId,EntryIdex,ExitIdex[,Speed] per line) to store beside the "
                    "data file, as FILE.zones");
    cmd->add_flag("--compat", o->compat,
                  "Read the list exactly as the device's build does (no line refused)");
    cmd->add_flag("-q,--quiet", o->quiet, "No progress line");
    cmd->add_flag("-v,--verbose", o->verbose,
                  "Every refused line and shared position, not the first few of each reason");
    return {cmd, [o] { return run_build(*o); }};
}

Command add_verify(CLI::App& app) {
    auto o = std::make_shared<VerifyOptions>();
    CLI::App* cmd = app.add_subcommand("verify", "Check a data file; exit 1 when not sound");
    cmd->add_option("FILE", o->file, "Data file")->required();
    cmd->add_flag("-v,--verbose", o->verbose, "Every problem, not the first few of each kind");
    cmd->add_flag("-q,--quiet", o->quiet, "No progress line");
    return {cmd, [o] { return run_verify(*o); }};
}

// A subcommand on one data file, run by `run`.
Command add_file_command(CLI::App& app, const char* name, const char* what,
                         int (*run)(const std::string&)) {
    auto file = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(name, what);
    cmd->add_option("FILE", *file, "Data file")->required();
    return {cmd, [file, run] { return run(*file); }};
}

Command add_lookup(CLI::App& app) {
    auto o = std::make_shared<LookupOptions>();
    CLI::App* cmd = app.add_subcommand("lookup", "The nearest camera to a position");
    cmd->add_option("FILE", o->file, "Data file")->required();
    auto position = std::make_shared<std::vector<std::string>>();
    cmd->add_option("POSITION", *position,
                    "LAT LNG in decimal degrees [-90 to 90] [-180 to 180], or LAT,LNG as one "
                    "argument (as a map copies it)")
        ->required()
        ->expected(1, 2);
    cmd->add_option("-r,--radius", o->radius_m, "Search radius, metres")
        ->capture_default_str()
        ->check(positive_up_to(kHalfTheEarthM));
    cmd->add_flag("--all", o->all, "Every camera within the radius, nearest first");
    cmd->add_flag("--json", o->json, "One JSON object per camera");
    return {cmd, [o, position] {
                parse_position(*position, o->lat, o->lng);
                return run_lookup(*o);
            }};
}

Command add_dump(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>("list");
    CLI::App* cmd = app.add_subcommand("dump", "Write a data file's records as text");
    cmd->add_option("FILE", *file, "Data file")->required();
    cmd->add_option("-f,--format", *format, "list, csv or geojson")
        ->capture_default_str()
        ->check(CLI::IsMember({"list", "csv", "geojson"}));
    auto zones = std::make_shared<bool>(false);
    cmd->add_flag("--zones", *zones,
                  "The zones stored beside the file instead (list: the zones list; geojson: "
                  "LineStrings)");
    return {cmd, [file, format, zones] {
                const DumpFormat f = *format == "csv"       ? DumpFormat::kCsv
                                     : *format == "geojson" ? DumpFormat::kGeoJson
                                                            : DumpFormat::kList;
                return *zones ? run_dump_zones(*file, f) : run_dump(*file, f);
            }};
}

Command add_diff(CLI::App& app) {
    auto files = std::make_shared<std::pair<std::string, std::string>>();
    CLI::App* cmd = app.add_subcommand("diff",
                                       "Cameras added, removed and changed; exit 1 "
                                       "when the files differ");
    cmd->add_option("OLD", files->first, "Data file before")->required();
    cmd->add_option("NEW", files->second, "Data file after")->required();
    return {cmd, [files] { return run_diff(files->first, files->second); }};
}

constexpr const char* kAllRefusals = "--all-refusals,-v,--verbose";
constexpr const char* kAllRefusalsHelp = "Every refused line, not the first few of each reason";

Command add_fixes(CLI::App& app) {
    auto o = std::make_shared<FixesOptions>();
    CLI::App* cmd =
        app.add_subcommand("fixes", "The fixes an NMEA log gives, one per receiver cycle");
    cmd->add_option("LOG", o->log, "NMEA 0183 log")->required();
    cmd->add_flag("--json", o->json, "One JSON object per fix");
    cmd->add_flag(kAllRefusals, o->all_refusals, kAllRefusalsHelp);
    return {cmd, [o] { return run_fixes(*o); }};
}

Command add_replay(CLI::App& app) {
    auto o = std::make_shared<ReplayOptions>();
    e_dog_warn_default_config(&o->config);
    CLI::App* cmd = app.add_subcommand("replay", "Run the warner over a recorded drive");
    cmd->add_option("FILE", o->file, "Data file")->required();
    cmd->add_option("LOG", o->log, "NMEA 0183 log of the drive")->required();
    cmd->add_option("--svg", o->svg, "Draw the drive into this SVG file");
    cmd->add_flag("--json", o->json, "One JSON object per event");
    cmd->add_flag(kAllRefusals, o->all_refusals, kAllRefusalsHelp);
    add_warner_options(*cmd, o->config);
    return {cmd, [o] {
                check_warner_options(o->config);
                return run_replay(*o);
            }};
}

Command add_import_osm(CLI::App& app) {
    auto o = std::make_shared<ImportOsmOptions>();
    auto box = std::make_shared<std::string>();
    CLI::App* cmd = app.add_subcommand(
        "import-osm", "A camera list (and zones) from an OpenStreetMap file, XML or PBF");
    cmd->add_option("INPUT", o->input, "OpenStreetMap file (.osm, .osm.gz, .osm.bz2, .osm.pbf)")
        ->required();
    cmd->add_option("-o,--output", o->output, "Camera list to write")->required();
    cmd->add_option("--zones", o->zones,
                    "Zones list to write: one zone per average-speed relation");
    cmd->add_option("--ids", o->ids,
                    "Map to write: Idex, OpenStreetMap type and id, version, timestamp");
    cmd->add_option("--bbox", *box, "Only cameras within WEST,SOUTH,EAST,NORTH (degrees)");
    cmd->add_flag("-q,--quiet", o->quiet, "No progress line");
    cmd->add_flag("-v,--verbose", o->verbose,
                  "Every object left out, not the first few of each reason");
    return {cmd, [o, box] {
                if (!box->empty()) {
                    o->box = parse_box(*box);
                }
                return run_import_osm(*o);
            }};
}

// A usage error: one line on standard error, exit status 2.
int usage_error(const std::string& command, const std::string& what) {
    (void)std::fprintf(stderr, "edog-tool: %s%s%s (see edog-tool help%s%s)\n", command.c_str(),
                       command.empty() ? "" : ": ", what.c_str(), command.empty() ? "" : " ",
                       command.c_str());
    return kUsageError;
}

int run(int argc, char** argv) {
    CLI::App app{"Builds, checks and queries camera data files; replays recorded drives.",
                 "edog-tool"};
    app.set_version_flag("--version", std::string("edog-tool ") + EDOG_VERSION);
    app.require_subcommand(1);
    const Command commands[] = {
        add_build(app),
        add_verify(app),
        add_file_command(app, "info", "Counts, bounding box and limits of a data file", run_info),
        add_lookup(app),
        add_dump(app),
        add_diff(app),
        add_fixes(app),
        add_replay(app),
        add_import_osm(app),
    };
    const auto named = [&](const std::string& name) -> CLI::App* {
        for (const Command& c : commands) {
            if (c.app->get_name() == name) {
                return c.app;
            }
        }
        return nullptr;
    };
    const std::string first = argc > 1 ? argv[1] : "";
    std::string names;
    for (const Command& c : commands) {
        names += (names.empty() ? "" : ", ") + c.app->get_name();
    }
    if (first == "help") {  // edog-tool help [COMMAND]
        const CLI::App* about = argc > 2 ? named(argv[2]) : &app;
        if (about == nullptr) {
            return usage_error(
                "", "no command \"" + printable(argv[2]) + "\"; the commands are " + names);
        }
        (void)std::fputs(about->help().c_str(), stdout);
        return 0;
    }
    if (!first.empty() && first[0] != '-' && named(first) == nullptr) {
        return usage_error(
            "", "unknown command \"" + printable(first) + "\"; the commands are " + names);
    }
    const std::string command = named(first) != nullptr ? first : "";
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e);  // --help, --version
        }
        return usage_error(command, first.empty()
                                        ? "a command is required; the commands are " + names
                                        : std::string(e.what()));
    }
    try {
        for (const Command& c : commands) {
            if (*c.app) {
                return c.run();
            }
        }
    } catch (const UsageError& e) {
        return usage_error(command, e.what());
    } catch (const std::bad_alloc&) {
        (void)std::fputs("edog-tool: out of memory\n", stderr);
        return 1;
    } catch (const std::exception& e) {
        (void)std::fprintf(stderr, "edog-tool: %s\n", e.what());
        return 1;
    }
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    edog_tool::remove_temporaries_on_signals();
    try {
        return run(argc, argv);
    } catch (...) {
        (void)std::fputs("edog-tool: unexpected failure\n", stderr);
        return 1;
    }
}
