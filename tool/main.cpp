// edog-tool: builds, checks, queries and compares camera data files, and
// replays recorded drives through the warner. Usage errors: exit status 2;
// failures: one line on standard error naming the file, exit status 1.
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "tool/commands.h"
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

int run(int argc, char** argv) {
    CLI::App app{"Builds, checks and queries camera data files; replays recorded drives.",
                 "edog-tool"};
    app.set_version_flag("--version", std::string("edog-tool ") + EDOG_VERSION);
    app.require_subcommand(1);

    BuildOptions build_o;
    CLI::App* build = app.add_subcommand("build", "Build a data file from a camera list");
    build
        ->add_option("LIST", build_o.list,
                     "Camera list (Idex,longitude,latitude,Type,Speed,"
                     "DirType,Direction per line)")
        ->required();
    build->add_option("-o,--output", build_o.output, "Data file to write")->required();
    build->add_flag("--compat", build_o.compat,
                    "Read the list exactly as the device's build does (no line refused)");
    build->add_flag("-q,--quiet", build_o.quiet, "No progress bar");

    std::string verify_file;
    CLI::App* verify = app.add_subcommand("verify", "Check a data file; exit 1 when not sound");
    verify->add_option("FILE", verify_file, "Data file")->required();

    std::string info_file;
    CLI::App* info = app.add_subcommand("info", "Counts, bounding box and limits of a data file");
    info->add_option("FILE", info_file, "Data file")->required();

    LookupOptions lookup_o;
    CLI::App* lookup = app.add_subcommand("lookup", "The nearest camera to a position");
    lookup->add_option("FILE", lookup_o.file, "Data file")->required();
    lookup->add_option("LAT", lookup_o.lat, "Latitude, decimal degrees")
        ->required()
        ->check(CLI::Range(-90.0, 90.0));
    lookup->add_option("LNG", lookup_o.lng, "Longitude, decimal degrees")
        ->required()
        ->check(CLI::Range(-180.0, 180.0));
    lookup->add_option("-r,--radius", lookup_o.radius_m, "Search radius, metres")
        ->capture_default_str()
        ->check(positive_finite());
    lookup->add_flag("--all", lookup_o.all, "Every camera within the radius, nearest first");
    lookup->add_flag("--json", lookup_o.json, "One JSON object per camera");

    std::string dump_file;
    std::string dump_format = "list";
    CLI::App* dump = app.add_subcommand("dump", "Write a data file's records as text");
    dump->add_option("FILE", dump_file, "Data file")->required();
    dump->add_option("-f,--format", dump_format, "list, csv or geojson")
        ->capture_default_str()
        ->check(CLI::IsMember({"list", "csv", "geojson"}));

    std::string diff_old;
    std::string diff_new;
    CLI::App* diff = app.add_subcommand("diff",
                                        "Cameras added, removed and changed; exit 1 "
                                        "when the files differ");
    diff->add_option("OLD", diff_old, "Data file before")->required();
    diff->add_option("NEW", diff_new, "Data file after")->required();

    std::string fixes_log;
    bool fixes_json = false;
    CLI::App* fixes = app.add_subcommand("fixes", "The fixes an NMEA log gives");
    fixes->add_option("LOG", fixes_log, "NMEA 0183 log")->required();
    fixes->add_flag("--json", fixes_json, "One JSON object per fix");

    ReplayOptions replay_o;
    e_dog_warn_default_config(&replay_o.config);
    CLI::App* replay = app.add_subcommand("replay", "Run the warner over a recorded drive");
    replay->add_option("FILE", replay_o.file, "Data file")->required();
    replay->add_option("LOG", replay_o.log, "NMEA 0183 log of the drive")->required();
    replay->add_option("--svg", replay_o.svg, "Draw the drive into this SVG file");
    replay->add_flag("--json", replay_o.json, "One JSON object per event");
    add_warner_options(*replay, replay_o.config);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : kUsageError;
    }

    try {
        if (*build) {
            return run_build(build_o);
        }
        if (*verify) {
            return run_verify(verify_file);
        }
        if (*info) {
            return run_info(info_file);
        }
        if (*lookup) {
            return run_lookup(lookup_o);
        }
        if (*dump) {
            return run_dump(dump_file, dump_format == "csv"       ? DumpFormat::kCsv
                                       : dump_format == "geojson" ? DumpFormat::kGeoJson
                                                                  : DumpFormat::kList);
        }
        if (*diff) {
            return run_diff(diff_old, diff_new);
        }
        if (*fixes) {
            return run_fixes(fixes_log, fixes_json);
        }
        if (*replay) {
            return run_replay(replay_o);
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
    try {
        return run(argc, argv);
    } catch (...) {
        (void)std::fputs("edog-tool: unexpected failure\n", stderr);
        return 1;
    }
}
