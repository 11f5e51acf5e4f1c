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

#include "tool/commands.h"
#include "tool/output.h"
#include "tool/tool.h"
#include <CLI/CLI.hpp>

namespace {

using namespace edog_tool;

constexpr int kUsageError = 2;

CLI::Validator positive_finite() {
    return {[](const std::string& text) -> std::string {
                double v = 0.0;
                if (!CLI::detail::lexical_cast(text, v) || !std::isfinite(v) || v <= 0.0) {
                    return "must be a positive number of metres";
                }
                return {};
            },
            "POSITIVE"};
}

void add_warner_options(CLI::App& cmd, EDOG_WARN_CONFIG& c) {
    cmd.add_option("--lead-time", c.lead_time_s, "Seconds of travel a warning comes ahead")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    cmd.add_option("--min-warn", c.min_warn_m, "Least warning distance, metres")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    cmd.add_option("--max-warn", c.max_warn_m, "Greatest warning distance, metres")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    cmd.add_option("--heading-tolerance", c.heading_tolerance_deg,
                   "Degrees between course and a camera's direction")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 180.0));
    cmd.add_option("--overspeed-margin", c.overspeed_margin_kmh,
                   "km/h above the limit before over-speed is reported")
        ->capture_default_str();
    cmd.add_option("--min-speed", c.min_speed_kmh, "No new warning below this speed, km/h")
        ->capture_default_str();
    cmd.add_flag("--warn-all-directions", c.warn_all_directions_type,
                 "Warn cameras of DirType 0 too");
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
    cmd->add_flag("--compat", o->compat,
                  "Read the list exactly as the device's build does (no line refused)");
    cmd->add_flag("-q,--quiet", o->quiet, "No progress bar");
    return {cmd, [o] { return run_build(*o); }};
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
    cmd->add_option("LAT", o->lat, "Latitude, decimal degrees")
        ->required()
        ->check(CLI::Range(-90.0, 90.0));
    cmd->add_option("LNG", o->lng, "Longitude, decimal degrees")
        ->required()
        ->check(CLI::Range(-180.0, 180.0));
    cmd->add_option("-r,--radius", o->radius_m, "Search radius, metres")
        ->capture_default_str()
        ->check(positive_finite());
    cmd->add_flag("--all", o->all, "Every camera within the radius, nearest first");
    cmd->add_flag("--json", o->json, "One JSON object per camera");
    return {cmd, [o] { return run_lookup(*o); }};
}

Command add_dump(CLI::App& app) {
    auto file = std::make_shared<std::string>();
    auto format = std::make_shared<std::string>("list");
    CLI::App* cmd = app.add_subcommand("dump", "Write a data file's records as text");
    cmd->add_option("FILE", *file, "Data file")->required();
    cmd->add_option("-f,--format", *format, "list, csv or geojson")
        ->capture_default_str()
        ->check(CLI::IsMember({"list", "csv", "geojson"}));
    return {cmd, [file, format] {
                return run_dump(*file, *format == "csv"       ? DumpFormat::kCsv
                                       : *format == "geojson" ? DumpFormat::kGeoJson
                                                              : DumpFormat::kList);
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

constexpr const char* kAllRefusalsHelp = "Every refused line, not the first few of each reason";

Command add_fixes(CLI::App& app) {
    auto o = std::make_shared<FixesOptions>();
    CLI::App* cmd =
        app.add_subcommand("fixes", "The fixes an NMEA log gives, one per receiver cycle");
    cmd->add_option("LOG", o->log, "NMEA 0183 log")->required();
    cmd->add_flag("--json", o->json, "One JSON object per fix");
    cmd->add_flag("--all-refusals", o->all_refusals, kAllRefusalsHelp);
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
    cmd->add_flag("--all-refusals", o->all_refusals, kAllRefusalsHelp);
    add_warner_options(*cmd, o->config);
    return {cmd, [o] { return run_replay(*o); }};
}

int run(int argc, char** argv) {
    CLI::App app{"Builds, checks and queries camera data files; replays recorded drives.",
                 "edog-tool"};
    app.set_version_flag("--version", std::string("edog-tool ") + EDOG_VERSION);
    app.require_subcommand(1);
    const Command commands[] = {
        add_build(app),
        add_file_command(app, "verify", "Check a data file; exit 1 when not sound", run_verify),
        add_file_command(app, "info", "Counts, bounding box and limits of a data file", run_info),
        add_lookup(app),
        add_dump(app),
        add_diff(app),
        add_fixes(app),
        add_replay(app),
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : kUsageError;
    }
    try {
        for (const Command& c : commands) {
            if (*c.app) {
                return c.run();
            }
        }
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
