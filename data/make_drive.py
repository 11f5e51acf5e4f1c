#!/usr/bin/env python3
"""Writes data/drive.nmea: an NMEA 0183 log of a drive past cameras of the
sample list, for `edog-tool replay`.

The drive follows the longest road of data/speedcam22.txt: a chain of
cameras each a few hundred metres to 1.5 km beyond the last, in the
direction the last one faces. It starts a kilometre before the first camera
and ends half a kilometre past the last, at 90 km/h (above some limits, so
that over-speed shows too), one RMC and one GGA sentence a second. The output
is the same on every run.

Usage: make_drive.py [LIST [OUT]]
"""
import math
import sys

EARTH_M_PER_DEG = 111319.5
SPEED_MS = 25.0  # 90 km/h
START = (2026, 12, 9, 8 * 3600)  # date and seconds since midnight, UTC


def read_list(path):
    cams = []
    with open(path) as f:
        for line in f:
            idex, lng, lat, _kind, speed, dirtype, direction = line.strip().split(",")
            cams.append((int(idex), float(lat), float(lng), int(speed), int(dirtype), int(direction)))
    return cams


def metres(a, b):
    dlat = (b[0] - a[0]) * EARTH_M_PER_DEG
    dlng = (b[1] - a[1]) * EARTH_M_PER_DEG * math.cos(math.radians(a[0]))
    return math.hypot(dlat, dlng)


def bearing(a, b):
    dlat = b[0] - a[0]
    dlng = (b[1] - a[1]) * math.cos(math.radians(a[0]))
    return math.degrees(math.atan2(dlng, dlat)) % 360


def angle(a, b):
    return abs((a - b + 180) % 360 - 180)


def offset(p, m, bearing_deg):
    b = math.radians(bearing_deg)
    return (p[0] + m * math.cos(b) / EARTH_M_PER_DEG,
            p[1] + m * math.sin(b) / (EARTH_M_PER_DEG * math.cos(math.radians(p[0]))))


def chain_from(cams, first):
    """Cameras along the road `first` stands on, in driving order."""
    chain = [first]
    while True:
        here = chain[-1]
        ahead = [c for c in cams if c not in chain
                 and 200 <= metres(here[1:3], c[1:3]) <= 1600
                 and angle(bearing(here[1:3], c[1:3]), here[5]) <= 25
                 and angle(c[5], here[5]) <= 20]
        if not ahead:
            return chain
        chain.append(min(ahead, key=lambda c: metres(here[1:3], c[1:3])))


def nmea(body):
    checksum = 0
    for ch in body:
        checksum ^= ord(ch)
    return f"${body}*{checksum:02X}\r\n"


def dm(value, is_lat):
    hemi = ("N" if value >= 0 else "S") if is_lat else ("E" if value >= 0 else "W")
    value = abs(value)
    deg = int(value)
    minutes = (value - deg) * 60
    width = 2 if is_lat else 3
    return f"{deg:0{width}d}{minutes:07.4f}", hemi


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else "data/speedcam22.txt"
    cams = read_list(src)
    chain = max((chain_from(cams, c) for c in cams), key=lambda ch: (len(ch), -ch[0][0]))
    first, last = chain[0], chain[-1]
    points = [offset(first[1:3], 1000, (first[5] + 180) % 360)]
    points += [c[1:3] for c in chain]
    points.append(offset(last[1:3], 500, last[5]))

    year, month, day, t = START
    lines = []
    for a, b in zip(points, points[1:]):
        course = bearing(a, b)
        steps = max(1, int(metres(a, b) / SPEED_MS))
        for i in range(steps):
            f = i / steps
            p = (a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f)
            hh, mm, ss = t // 3600, t // 60 % 60, t % 60
            lat, ns = dm(p[0], True)
            lng, ew = dm(p[1], False)
            clock = f"{hh:02d}{mm:02d}{ss:02d}.00"
            date = f"{day:02d}{month:02d}{year % 100:02d}"
            knots = SPEED_MS * 3600 / 1852
            lines.append(nmea(f"GPRMC,{clock},A,{lat},{ns},{lng},{ew},{knots:.1f},{course:.1f},{date},,,A"))
            lines.append(nmea(f"GPGGA,{clock},{lat},{ns},{lng},{ew},1,08,0.9,40.0,M,0.0,M,,"))
            t += 1
    out = sys.stdout if len(sys.argv) < 3 else open(sys.argv[2], "w", newline="")
    out.write("".join(lines))


if __name__ == "__main__":
    main()
