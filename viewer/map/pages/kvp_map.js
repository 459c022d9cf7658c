// The map page the viewer drives. The viewer calls:
//   start(text)   the whole track, one entry per second: "lon,lat;" or
//                 "V,V;" (no fix); replaces the track drawn before
//   setpos(s)     the marker to second s, then on by itself once a second
//                 until the next call (the global interval `timer`)
//   HidePos()     hides the marker (a second without a fix)
//   Stop()        removes the track and the marker
// and stops the marker's own steps with window.clearInterval(timer).
// kvpMapState() reports what is drawn, for the viewer's tests.
'use strict';

var timer = null;

var kvpMap = (function () {
    var config = window.KVP_MAP_CONFIG || { tileUrl: '' };
    var datum = document.body.getAttribute('data-datum') || 'wgs84';
    var PI = 3.141592653589793;
    var X_PI = PI * 3000.0 / 180.0;
    var A = 6378245.0;
    var EE = 0.006693421622965943;

    var map = L.map('map', { zoomControl: true, worldCopyJump: false }).setView([30, 110], 3);
    if (config.tileUrl) {
        L.tileLayer(config.tileUrl, {
            maxZoom: 19,
            attribution: '&copy; <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors'
        }).addTo(map);
    }
    L.control.scale({ imperial: false, maxWidth: 150 }).addTo(map);

    var entries = [];      // [lat, lon] in the tiles' datum, or null (no fix)
    var trackLayer = null;
    var marker = L.circleMarker([0, 0], {
        radius: 7, color: '#ffffff', weight: 2, fillColor: '#d62728', fillOpacity: 1
    });
    var markerShown = false;
    var second = -1;

    function inChina(lat, lon) {
        return lon >= 73.004 && lon <= 135.0 && lat >= 4.8293 && lat <= 53.8271;
    }
    function shiftLat(x, y) {
        var d = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * Math.sqrt(Math.abs(x));
        d += (20.0 * Math.sin(6.0 * x * PI) + 20.0 * Math.sin(2.0 * x * PI)) * 2.0 / 3.0;
        d += (20.0 * Math.sin(y * PI) + 40.0 * Math.sin(y / 3.0 * PI)) * 2.0 / 3.0;
        d += (160.0 * Math.sin(y / 12.0 * PI) + 320.0 * Math.sin(y * PI / 30.0)) * 2.0 / 3.0;
        return d;
    }
    function shiftLon(x, y) {
        var d = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * Math.sqrt(Math.abs(x));
        d += (20.0 * Math.sin(6.0 * x * PI) + 20.0 * Math.sin(2.0 * x * PI)) * 2.0 / 3.0;
        d += (20.0 * Math.sin(x * PI) + 40.0 * Math.sin(x / 3.0 * PI)) * 2.0 / 3.0;
        d += (150.0 * Math.sin(x / 12.0 * PI) + 300.0 * Math.sin(x / 30.0 * PI)) * 2.0 / 3.0;
        return d;
    }
    // WGS-84 to GCJ-02, the shift the viewer applied.
    function toGcj(lat, lon) {
        var x = lon - 105.0, y = lat - 35.0;
        var rad = lat / 180.0 * PI;
        var m = 1.0 - EE * Math.sin(rad) * Math.sin(rad);
        var sm = Math.sqrt(m);
        return [lat + shiftLat(x, y) * 180.0 / ((A * (1.0 - EE)) / (m * sm) * PI),
                lon + shiftLon(x, y) * 180.0 / (A / sm * Math.cos(rad) * PI)];
    }
    // BD-09 back to WGS-84, for WGS-84 tiles: BD-09 to GCJ-02 exactly, then
    // the GCJ-02 shift undone by a few fixed-point steps.
    function fromBd09(lat, lon) {
        var x = lon - 0.0065, y = lat - 0.006;
        var z = Math.sqrt(x * x + y * y) - 0.00002 * Math.sin(y * X_PI);
        var t = Math.atan2(y, x) - 0.000003 * Math.cos(x * X_PI);
        var g = [z * Math.sin(t), z * Math.cos(t)];
        var w = g.slice();
        for (var i = 0; i < 5; ++i) {
            var f = toGcj(w[0], w[1]);
            w = [w[0] - (f[0] - g[0]), w[1] - (f[1] - g[1])];
        }
        return w;
    }

    function parse(text) {
        var out = [];
        var parts = String(text).split(';');
        for (var i = 0; i < parts.length; ++i) {
            if (i === parts.length - 1 && parts[i] === '') break;  // after the last ';'
            var lonLat = parts[i].split(',');
            var lon = Number(lonLat[0]), lat = Number(lonLat[1]);
            if (lonLat.length !== 2 || !isFinite(lat) || !isFinite(lon) || Math.abs(lat) > 90 ||
                Math.abs(lon) > 180) {
                out.push(null);
                continue;
            }
            out.push(datum === 'bd09' && inChina(lat, lon) ? fromBd09(lat, lon) : [lat, lon]);
        }
        return out;
    }

    // The track as lines broken where there was no fix.
    function segments() {
        var all = [], run = [];
        for (var i = 0; i < entries.length; ++i) {
            if (entries[i] === null) {
                if (run.length) all.push(run);
                run = [];
            } else {
                run.push(entries[i]);
            }
        }
        if (run.length) all.push(run);
        return all;
    }

    function stopSteps() {
        if (timer !== null) window.clearInterval(timer);
        timer = null;
    }

    function hide() {
        if (markerShown) marker.remove();
        markerShown = false;
    }

    function show(s) {
        second = s;
        var p = entries[s];
        if (!p) {
            hide();
            return;
        }
        marker.setLatLng(p);
        if (!markerShown) marker.addTo(map);
        markerShown = true;
        if (!map.getBounds().pad(-0.1).contains(p)) map.panTo(p, { animate: false });
    }

    return {
        start: function (text) {
            stopSteps();
            hide();
            if (trackLayer) trackLayer.remove();
            trackLayer = null;
            second = -1;
            entries = parse(text);
            var lines = segments();
            if (lines.length) {
                trackLayer = L.polyline(lines, { color: '#1f5fbf', weight: 4, opacity: 0.9 }).addTo(map);
                map.fitBounds(trackLayer.getBounds(), { padding: [24, 24], maxZoom: 17, animate: false });
            }
            return entries.length;
        },
        setpos: function (s) {
            stopSteps();
            s = Math.floor(Number(s));
            if (!isFinite(s) || s < 0 || s >= entries.length) return;
            show(s);
            // On by itself until the viewer says otherwise (or pauses it).
            timer = window.setInterval(function () {
                if (second + 1 < entries.length) {
                    show(second + 1);
                } else {
                    stopSteps();
                }
            }, 1000);
        },
        hide: function () {
            stopSteps();
            hide();
        },
        stop: function () {
            stopSteps();
            hide();
            if (trackLayer) trackLayer.remove();
            trackLayer = null;
            entries = [];
            second = -1;
        },
        state: function () {
            var valid = entries.filter(function (e) { return e !== null; }).length;
            var at = markerShown ? marker.getLatLng() : null;
            return {
                datum: datum,
                entries: entries.length,
                points: valid,
                segments: trackLayer ? segments().length : 0,
                second: second,
                marker: { visible: markerShown, lat: at ? at.lat : null, lon: at ? at.lng : null },
                stepping: timer !== null,
                tiles: config.tileUrl || ''
            };
        }
    };
})();

function start(text) { return kvpMap.start(text); }
function setpos(second) { kvpMap.setpos(second); }
function HidePos() { kvpMap.hide(); }
function Stop() { kvpMap.stop(); }
function kvpMapState() { return JSON.stringify(kvpMap.state()); }
