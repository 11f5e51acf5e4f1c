// An OpenStreetMap extract for the import tests: one case of the mapping
// per band of latitude (40.00 + k/100 degrees for case k, a band 1.1 km
// wide), each camera with the line of the list it must give.
#ifndef TESTS_OSM_FIXTURE_H
#define TESTS_OSM_FIXTURE_H

#include <string>

namespace osm_test {

// Nodes, then ways, then relations, as OpenStreetMap writes them.
inline const std::string kNodes = R"(
  <node id="100" version="1" lat="40.0090000" lon="10.0000000"/>
  <node id="101" version="4" timestamp="2024-05-06T07:08:09Z" lat="40.0100000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="direction" v="90"/></node>
  <node id="102" version="1" lat="40.0110000" lon="10.0000000"/>
  <node id="200" version="1" lat="40.0190000" lon="10.0000000"/>
  <node id="201" version="1" lat="40.0200000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="direction" v="NNW"/></node>
  <node id="202" version="1" lat="40.0210000" lon="10.0000000"/>
  <node id="300" version="1" lat="40.0290000" lon="10.0000000"/>
  <node id="301" version="1" lat="40.0300000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="direction" v="forward"/></node>
  <node id="302" version="1" lat="40.0310000" lon="10.0000000"/>
  <node id="400" version="1" lat="40.0390000" lon="10.0000000"/>
  <node id="401" version="1" lat="40.0400000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="direction" v="backward"/></node>
  <node id="402" version="1" lat="40.0410000" lon="10.0000000"/>
  <node id="500" version="1" lat="40.0490000" lon="10.0000000"/>
  <node id="501" version="1" lat="40.0500000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="502" version="1" lat="40.0500000" lon="10.0010000"/>
  <node id="600" version="1" lat="40.0590000" lon="10.0000000"/>
  <node id="601" version="1" lat="40.0600000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="602" version="1" lat="40.0610000" lon="10.0000000"/>
  <node id="700" version="1" lat="40.0690000" lon="10.0000000"/>
  <node id="701" version="1" lat="40.0700000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="702" version="1" lat="40.0710000" lon="10.0000000"/>
  <node id="800" version="1" lat="40.0790000" lon="10.0000000"/>
  <node id="801" version="1" lat="40.0800000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="direction" v="both"/></node>
  <node id="802" version="1" lat="40.0810000" lon="10.0000000"/>
  <node id="901" version="1" lat="40.0900000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="1000" version="1" lat="40.0990000" lon="10.0000000"/>
  <node id="1001" version="1" lat="40.1000000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="1002" version="1" lat="40.1010000" lon="10.0000000"/>
  <node id="1100" version="1" lat="40.1090000" lon="10.0000000"/>
  <node id="1101" version="1" lat="40.1100000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="maxspeed" v="none"/></node>
  <node id="1102" version="1" lat="40.1110000" lon="10.0000000"/>
  <node id="1201" version="1" lat="40.1200000" lon="-10.0000000"><tag k="highway" v="speed_camera"/><tag k="maxspeed" v="60 mph"/></node>
  <node id="1301" version="1" lat="-40.1300000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="maxspeed" v="DE:urban"/></node>
  <node id="1401" version="1" lat="40.1400000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="maxspeed" v="50"/></node>
  <node id="1501" version="1" lat="40.1500000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="1601" version="1" lat="40.1600000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="1700" version="1" lat="40.1690000" lon="10.0000000"/>
  <node id="1701" version="2" timestamp="2023-01-01T00:00:00Z" lat="40.1700000" lon="10.0000000"/>
  <node id="1702" version="1" lat="40.1710000" lon="10.0000000"/>
  <node id="1900" version="1" lat="40.1890000" lon="10.0000000"/>
  <node id="1901" version="1" lat="40.1900000" lon="10.0000000"><tag k="highway" v="speed_camera"/><tag k="direction" v="north-ish"/></node>
  <node id="1902" version="1" lat="40.1910000" lon="10.0000000"/>
  <node id="2001" version="1" lat="40.2000000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="2002" version="1" lat="40.2000000" lon="10.0010000"/>
  <node id="2201" version="1" lat="40.2200000" lon="10.0000000"/>
  <node id="2301" version="1" lat="40.2300000" lon="10.0000000"/>
  <node id="1799" version="1" lat="40.9900000" lon="10.0000000"/>
  <node id="1800" version="1" lat="41.0000000" lon="10.0000000"/>
  <node id="1805" version="1" lat="41.0100000" lon="10.0000000"/>
  <node id="1810" version="1" lat="41.0200000" lon="10.0000000"><tag k="highway" v="speed_camera"/></node>
  <node id="1811" version="1" lat="41.0300000" lon="10.0000000"/>
)";

inline const std::string kWays = R"(
  <way id="1" version="1"><nd ref="100"/><nd ref="101"/><nd ref="102"/><tag k="highway" v="primary"/><tag k="maxspeed" v="30 mph"/></way>
  <way id="2" version="1"><nd ref="200"/><nd ref="201"/><nd ref="202"/><tag k="highway" v="primary"/></way>
  <way id="3" version="1"><nd ref="300"/><nd ref="301"/><nd ref="302"/><tag k="highway" v="primary"/></way>
  <way id="4" version="1"><nd ref="400"/><nd ref="401"/><nd ref="402"/><tag k="highway" v="primary"/></way>
  <way id="5" version="1"><nd ref="500"/><nd ref="501"/><nd ref="502"/><tag k="highway" v="primary"/></way>
  <way id="6" version="1"><nd ref="600"/><nd ref="601"/><nd ref="602"/><tag k="highway" v="primary"/><tag k="oneway" v="yes"/></way>
  <way id="7" version="1"><nd ref="700"/><nd ref="701"/><nd ref="702"/><tag k="highway" v="primary"/><tag k="oneway" v="-1"/></way>
  <way id="8" version="1"><nd ref="800"/><nd ref="801"/><nd ref="802"/><tag k="highway" v="motorway"/></way>
  <way id="10" version="1"><nd ref="1000"/><nd ref="1001"/><tag k="highway" v="primary"/></way>
  <way id="11" version="1"><nd ref="1001"/><nd ref="1002"/><tag k="highway" v="primary"/></way>
  <way id="12" version="1"><nd ref="1100"/><nd ref="1101"/><nd ref="1102"/><tag k="highway" v="primary"/><tag k="maxspeed" v="50"/></way>
  <way id="13" version="1"><nd ref="1700"/><nd ref="1701"/><nd ref="1702"/><tag k="highway" v="primary"/><tag k="maxspeed" v="70"/></way>
  <way id="14" version="1"><nd ref="1900"/><nd ref="1901"/><nd ref="1902"/><tag k="highway" v="primary"/></way>
  <way id="15" version="1"><nd ref="2001"/><nd ref="2002"/><tag k="highway" v="primary"/></way>
  <way id="16" version="1"><nd ref="1799"/><nd ref="1800"/><nd ref="1805"/><nd ref="1810"/><nd ref="1811"/><tag k="highway" v="trunk"/><tag k="oneway" v="yes"/></way>
  <way id="17" version="1"><nd ref="1000"/><nd ref="1002"/><tag k="building" v="yes"/></way>
)";

inline const std::string kRelations = R"(
  <relation id="14" version="1"><member type="node" ref="1401" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="maxspeed"/><tag k="maxspeed" v="70"/></relation>
  <relation id="15" version="1"><member type="node" ref="1501" role="device"/><member type="node" ref="1501" role="force"/><tag k="type" v="enforcement"/><tag k="enforcement" v="traffic_signals"/></relation>
  <relation id="16" version="1"><member type="node" ref="1601" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="maxspeed"/><tag k="maxspeed" v="60"/></relation>
  <relation id="17" version="1"><member type="node" ref="1601" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="traffic_signals"/></relation>
  <relation id="18" version="1"><member type="node" ref="1800" role="from"/><member type="node" ref="1805" role="device"/><member type="node" ref="1810" role="to"/><member type="way" ref="16" role="section"/><tag k="type" v="enforcement"/><tag k="enforcement" v="average_speed"/><tag k="maxspeed" v="90"/></relation>
  <relation id="19" version="1"><member type="node" ref="1701" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="maxspeed"/><tag k="maxspeed" v="80"/></relation>
  <relation id="21" version="1"><member type="node" ref="9999" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="maxspeed"/></relation>
  <relation id="22" version="1"><member type="node" ref="2201" role="device"/><member type="way" ref="15" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="average_speed"/></relation>
  <relation id="23" version="1"><member type="node" ref="2301" role="device"/><tag k="type" v="enforcement"/><tag k="enforcement" v="check"/></relation>
)";

inline std::string extract(const std::string& nodes = kNodes, const std::string& ways = kWays,
                           const std::string& relations = kRelations) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<osm version=\"0.6\" generator=\"test\">" +
           nodes + ways + relations + "</osm>\n";
}

// The list the extract gives, line by line, with the rule each line shows.
inline const std::string kList =
    "101,10.0000000,40.0100000,1,48,1,90\n"   // direction in degrees; the road's 30 mph
    "201,10.0000000,40.0200000,1,0,1,338\n"   // NNW, 337.5 rounded
    "301,10.0000000,40.0300000,1,0,1,0\n"     // forward: along the way
    "401,10.0000000,40.0400000,1,0,1,180\n"   // backward: against it
    "501,10.0000000,40.0500000,1,0,2,45\n"    // no direction on a two-way bend: halfway
    "601,10.0000000,40.0600000,1,0,1,0\n"     // oneway=yes
    "701,10.0000000,40.0700000,1,0,1,180\n"   // oneway=-1
    "801,10.0000000,40.0800000,1,0,1,0\n"     // both, on a motorway (one-way)
    "901,10.0000000,40.0900000,1,0,0,0\n"     // on no road: DirType 0
    "1001,10.0000000,40.1000000,1,0,0,0\n"    // where two roads meet: DirType 0
    "1101,10.0000000,40.1100000,1,0,2,0\n"    // maxspeed=none on the node beats the road's
    "1201,-10.0000000,40.1200000,1,97,0,0\n"  // 60 mph
    "1301,10.0000000,-40.1300000,1,0,0,0\n"   // a country's default: unknown
    "1401,10.0000000,40.1400000,1,70,0,0\n"   // the relation's limit beats the node's
    "1501,10.0000000,40.1500000,3,0,0,0\n"    // traffic_signals relation
    "1601,10.0000000,40.1600000,2,60,0,0\n"   // maxspeed and traffic_signals relations
    "1701,10.0000000,40.1700000,1,80,2,0\n"   // an untagged device, on its road
    "1800,10.0000000,41.0000000,4,90,1,0\n"   // the zone's from: a section-control record
    "1805,10.0000000,41.0100000,4,90,1,0\n"   // average_speed device
    "1810,10.0000000,41.0200000,1,90,1,0\n"   // the zone's to, a camera already
    "1901,10.0000000,40.1900000,1,0,2,0\n"    // unreadable direction: the road's
    "2001,10.0000000,40.2000000,1,0,2,90\n"   // the end of a road: its one segment
    "2201,10.0000000,40.2200000,4,0,0,0\n";   // average_speed device, no zone

inline const std::string kZones = "18,1800,1810,90\n";

}  // namespace osm_test

#endif  // TESTS_OSM_FIXTURE_H
