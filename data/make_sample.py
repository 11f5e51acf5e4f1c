#!/usr/bin/env python3
"""Writes the sample camera list data/speedcam22.txt.

The cameras stand along straight roads that leave a few city centres at
random bearings, one every few hundred metres, with a speed limit per road.
A small cluster stands within 800 m of the driver's fixed query position
(latitude -2.1778, longitude 50.683) so that the lookup has something to find.
The output is the same on every run (fixed seed).

Line format: Idex,longitude,latitude,Type,Speed,DirType,Direction
"""
import math
import random
import sys

CITIES = [  # name, latitude, longitude, roads
    ("Beijing", 39.9042, 116.4074, 8),
    ("Shenzhen", 22.5431, 114.0579, 7),
    ("Shanghai", 31.2304, 121.4737, 7),
    ("Guangzhou", 23.1291, 113.2644, 5),
    ("Berlin", 52.5200, 13.4050, 5),
    ("Paris", 48.8566, 2.3522, 5),
    ("Sao Paulo", -23.5505, -46.6333, 4),
    ("Sydney", -33.8688, 151.2093, 4),
]
QUERY = (-2.1778, 50.683)
EARTH_M_PER_DEG = 111319.5


def offset(lat, lng, metres, bearing_deg):
    """Position `metres` away from (lat, lng) along `bearing_deg`."""
    b = math.radians(bearing_deg)
    dlat = metres * math.cos(b) / EARTH_M_PER_DEG
    dlng = metres * math.sin(b) / (EARTH_M_PER_DEG * math.cos(math.radians(lat)))
    return lat + dlat, lng + dlng


def main():
    rng = random.Random(22)
    rows = []
    for _name, clat, clng, roads in CITIES:
        for _ in range(roads):
            bearing = rng.randrange(0, 360)
            speed = rng.choice([40, 50, 60, 60, 70, 80, 80, 100, 120])
            kind = rng.choice([1, 1, 1, 2, 3, 4])
            lat, lng = offset(clat, clng, rng.uniform(0, 3000), rng.randrange(0, 360))
            for _ in range(rng.randint(4, 9)):
                lat, lng = offset(lat, lng, rng.uniform(250, 1500), bearing)
                dirtype = rng.choice([1, 1, 2, 2, 3, 4, 5, 0])
                rows.append((lng, lat, kind, speed, dirtype, bearing))
                bearing = (bearing + rng.randint(-15, 15)) % 360

    # Around the query position: cameras at known distances and bearings, the
    # nearest (about 120 m, limit 40) a warning camera, one at 300 m that is
    # not (DirType 0), two beyond 800 m.
    for metres, bearing, dirtype, speed in [
        (650, 30, 1, 60), (120, 200, 2, 40), (300, 150, 0, 50), (420, 95, 2, 80),
        (760, 300, 3, 100), (1500, 10, 1, 60), (2600, 250, 4, 120),
    ]:
        lat, lng = offset(QUERY[0], QUERY[1], metres, bearing)
        rows.append((lng, lat, 1, speed, dirtype, bearing))

    rng.shuffle(rows)
    out = sys.stdout if len(sys.argv) < 2 else open(sys.argv[1], "w", newline="\n")
    for idex, (lng, lat, kind, speed, dirtype, direction) in enumerate(rows, start=1):
        out.write(f"{idex},{lng:.6f},{lat:.6f},{kind},{speed},{dirtype},{direction}\n")


if __name__ == "__main__":
    main()
