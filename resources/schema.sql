-- The empty Varnolt database that ships with the program.
-- Build: sqlite3 -bail Varnolt.db ".read schema.sql"
--
-- Dates are stored as text 'yyyy-MM-dd HH:mm:ss', so that they compare and sort as dates.
-- The program writes dates and numbers in the user's locale; the store converts them on insert.

BEGIN;

-- One row per metered stretch of time. Statements insert positionally: keep the column order.
-- A row whose three numbers are all 0 marks the start of a run or of a day.
CREATE TABLE Log (
    DateAndTimeStart DATETIME NOT NULL
        CHECK (DateAndTimeStart GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
    DateAndTimeEnd DATETIME NOT NULL
        CHECK (DateAndTimeEnd GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
    BytesSent INTEGER,
    BytesRcvd INTEGER,
    -- kB/s, 1 kB = 1000 bytes
    AvgDownloadSpeed DOUBLE
);

-- The volume left of an allowance sums the rows since a date.
CREATE INDEX LogByStart ON Log (DateAndTimeStart);

-- The log writer deletes the marker rows before every row it writes; this keeps that from
-- reading the whole log.
CREATE INDEX LogMarkers ON Log (DateAndTimeStart) WHERE BytesSent = 0 AND BytesRcvd = 0 AND AvgDownloadSpeed = 0;

-- The open log row of a run, written every few seconds while traffic flows, so that a run
-- that ends without writing its last row (killed, crashed, a power cut) loses at most those
-- seconds: the next start turns it into its Log row. Every Log row written clears it in the
-- same transaction, so no byte is counted twice. At most one row (Id 1). The program adds
-- the table to older databases with the same text (SchemaUpgrade::journalTableSql).
CREATE TABLE RowJournal (Id INTEGER PRIMARY KEY CHECK (Id = 1), DateAndTimeStart DATETIME NOT NULL, DateAndTimeEnd DATETIME NOT NULL, BytesSent INTEGER NOT NULL, BytesRcvd INTEGER NOT NULL, AvgDownloadSpeed DOUBLE NOT NULL);

-- Name/value pairs. Keys compare without regard to case. Hand-edited files may hold a key twice.
CREATE TABLE settings (
    Settingname TEXT COLLATE NOCASE,
    Settingvalue TEXT
);

-- The per-day view uses the program's own SQL functions (Format, CLng, CDate), so only the
-- program can read it. It gives the rows of the program's definition of the view
-- (DayViewDefinition::jetText), but totals the log per day through LogByDay first instead of
-- sorting every row; its text is DayViewDefinition::sqliteText, and tests keep the two equal.
CREATE VIEW DownloadPerDay AS SELECT CLng(Format(Day,'yyyymmdd')) AS DDate, KBDown, KBUp, AVGDown, CDate(Format(Day,'yyyy/mm/dd')) AS Gdate FROM (SELECT substr(DateAndTimeStart, 1, 10) AS Day, Sum(BytesRcvd*1.0/1024) AS KBDown, Sum(BytesSent*1.0/1024) AS KBUp, Avg(AvgDownloadSpeed) AS AVGDown FROM Log GROUP BY substr(DateAndTimeStart, 1, 10)) ORDER BY DDate DESC;

-- The other views use SQLite's own functions only. A row counts entirely in the period in
-- which it starts. Volumes are in KB of 1024 bytes, with fractions. They first total the log per
-- day, reading it in the order of LogByDay instead of sorting it, then total the days.
CREATE INDEX LogByDay ON Log (substr(DateAndTimeStart, 1, 10));

-- ddate = ISO 8601 week-numbering year * 100 + ISO week. The Thursday of a row's Monday-to-Sunday
-- week lies in the week's ISO year, and its day of that year gives the week number.
CREATE VIEW DownloadPerWeek AS
SELECT CAST(strftime('%Y', Thursday) AS INTEGER) * 100 + (CAST(strftime('%j', Thursday) AS INTEGER) - 1) / 7 + 1
           AS ddate,
       sum(BytesDown) / 1024.0 AS kbdown,
       sum(BytesUp) / 1024.0 AS kbup,
       sum(SpeedSum) / sum(SpeedCount) AS avgdown
FROM (SELECT date(substr(DateAndTimeStart, 1, 10), '-3 days', 'weekday 4') AS Thursday,
             sum(BytesRcvd) AS BytesDown, sum(BytesSent) AS BytesUp,
             sum(AvgDownloadSpeed) AS SpeedSum, count(AvgDownloadSpeed) AS SpeedCount
      FROM Log
      GROUP BY substr(DateAndTimeStart, 1, 10))
GROUP BY ddate
ORDER BY ddate DESC;

-- ddate = yyyymm
CREATE VIEW DownloadPerMonth AS
SELECT CAST(substr(Day, 1, 4) || substr(Day, 6, 2) AS INTEGER) AS ddate,
       sum(BytesDown) / 1024.0 AS kbdown,
       sum(BytesUp) / 1024.0 AS kbup,
       sum(SpeedSum) / sum(SpeedCount) AS avgdown
FROM (SELECT substr(DateAndTimeStart, 1, 10) AS Day,
             sum(BytesRcvd) AS BytesDown, sum(BytesSent) AS BytesUp,
             sum(AvgDownloadSpeed) AS SpeedSum, count(AvgDownloadSpeed) AS SpeedCount
      FROM Log
      GROUP BY substr(DateAndTimeStart, 1, 10))
GROUP BY ddate
ORDER BY ddate DESC;

-- ddate = yyyy
CREATE VIEW DownloadPerYear AS
SELECT CAST(substr(Day, 1, 4) AS INTEGER) AS ddate,
       sum(BytesDown) / 1024.0 AS kbdown,
       sum(BytesUp) / 1024.0 AS kbup,
       sum(SpeedSum) / sum(SpeedCount) AS avgdown
FROM (SELECT substr(DateAndTimeStart, 1, 10) AS Day,
             sum(BytesRcvd) AS BytesDown, sum(BytesSent) AS BytesUp,
             sum(AvgDownloadSpeed) AS SpeedSum, count(AvgDownloadSpeed) AS SpeedCount
      FROM Log
      GROUP BY substr(DateAndTimeStart, 1, 10))
GROUP BY ddate
ORDER BY ddate DESC;

-- When each view was last defined. The start-up upgrade rewrites a per-day view dated 2001;
-- the shipped one is in its final form.
CREATE TABLE ViewCatalog (
    ViewName TEXT PRIMARY KEY COLLATE NOCASE,
    DateModified DATETIME NOT NULL
);
INSERT INTO ViewCatalog (ViewName, DateModified) VALUES
    ('DownloadPerDay', '2026-12-06 00:00:00'),
    ('DownloadPerWeek', '2026-12-06 00:00:00'),
    ('DownloadPerMonth', '2026-12-06 00:00:00'),
    ('DownloadPerYear', '2026-12-06 00:00:00');

COMMIT;
