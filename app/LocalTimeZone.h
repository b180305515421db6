#pragma once

// With TZ unset the GNU C library checks /etc/localtime again (a stat call) on
// every local-time conversion; the charts' time labels convert some hundreds
// of date-times per update. Naming the same default zone file once at start-up
// keeps the zone and drops the checks; a zone the user set in TZ is kept as it
// is. Call first thing in main(), before any thread starts.
void pinLocalTimeZone();
