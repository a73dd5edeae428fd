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

-- The volume left of an allowance reads the rows of the first day of its window by start.
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

-- The totals of the log per calendar day of DateAndTimeStart ('yyyy-MM-dd'), kept by the triggers
-- below, so that the views read a row a day instead of every log row. Each total has the count
-- of its non-NULL values beside it: a day whose values are all NULL totals NULL, as sum() does.
-- Taking a speed off a sum of doubles may leave a trace; where the speeds left are all 0
-- (SpeedNonZero counts the others), the sum is set to 0 exactly. A day whose last log row is
-- deleted goes. The program adds the table, its triggers and these
-- views to older databases with the same texts (DayTotals).
CREATE TABLE LogPerDay (Day TEXT PRIMARY KEY, BytesDown INTEGER, BytesUp INTEGER, SpeedSum DOUBLE,
    DownCount INTEGER NOT NULL, UpCount INTEGER NOT NULL, SpeedCount INTEGER NOT NULL,
    SpeedNonZero INTEGER NOT NULL, RowCount INTEGER NOT NULL) WITHOUT ROWID;

CREATE TRIGGER LogPerDayInsert AFTER INSERT ON Log BEGIN
    INSERT INTO LogPerDay VALUES (substr(NEW.DateAndTimeStart, 1, 10), NEW.BytesRcvd, NEW.BytesSent,
        NEW.AvgDownloadSpeed, NEW.BytesRcvd IS NOT NULL, NEW.BytesSent IS NOT NULL,
        NEW.AvgDownloadSpeed IS NOT NULL, ifnull(NEW.AvgDownloadSpeed <> 0, 0), 1)
    ON CONFLICT (Day) DO UPDATE SET
        BytesDown = coalesce(BytesDown + excluded.BytesDown, BytesDown, excluded.BytesDown),
        BytesUp = coalesce(BytesUp + excluded.BytesUp, BytesUp, excluded.BytesUp),
        SpeedSum = coalesce(SpeedSum + excluded.SpeedSum, SpeedSum, excluded.SpeedSum),
        DownCount = DownCount + excluded.DownCount, UpCount = UpCount + excluded.UpCount,
        SpeedCount = SpeedCount + excluded.SpeedCount, SpeedNonZero = SpeedNonZero + excluded.SpeedNonZero,
        RowCount = RowCount + 1;
END;

CREATE TRIGGER LogPerDayDelete AFTER DELETE ON Log BEGIN
    UPDATE LogPerDay SET
        BytesDown = CASE WHEN DownCount > (OLD.BytesRcvd IS NOT NULL) THEN BytesDown - ifnull(OLD.BytesRcvd, 0) END,
        BytesUp = CASE WHEN UpCount > (OLD.BytesSent IS NOT NULL) THEN BytesUp - ifnull(OLD.BytesSent, 0) END,
        SpeedSum = CASE WHEN SpeedNonZero > ifnull(OLD.AvgDownloadSpeed <> 0, 0)
            THEN SpeedSum - ifnull(OLD.AvgDownloadSpeed, 0)
            WHEN SpeedCount > (OLD.AvgDownloadSpeed IS NOT NULL) THEN 0.0 END,
        DownCount = DownCount - (OLD.BytesRcvd IS NOT NULL), UpCount = UpCount - (OLD.BytesSent IS NOT NULL),
        SpeedCount = SpeedCount - (OLD.AvgDownloadSpeed IS NOT NULL),
        SpeedNonZero = SpeedNonZero - ifnull(OLD.AvgDownloadSpeed <> 0, 0), RowCount = RowCount - 1
    WHERE Day = substr(OLD.DateAndTimeStart, 1, 10);
    DELETE FROM LogPerDay WHERE Day = substr(OLD.DateAndTimeStart, 1, 10) AND RowCount = 0;
END;

-- A row moved to another day, or with other counts: out of its old day, into its new one.
CREATE TRIGGER LogPerDayUpdate AFTER UPDATE OF DateAndTimeStart, BytesSent, BytesRcvd, AvgDownloadSpeed
ON Log BEGIN
    UPDATE LogPerDay SET
        BytesDown = CASE WHEN DownCount > (OLD.BytesRcvd IS NOT NULL) THEN BytesDown - ifnull(OLD.BytesRcvd, 0) END,
        BytesUp = CASE WHEN UpCount > (OLD.BytesSent IS NOT NULL) THEN BytesUp - ifnull(OLD.BytesSent, 0) END,
        SpeedSum = CASE WHEN SpeedNonZero > ifnull(OLD.AvgDownloadSpeed <> 0, 0)
            THEN SpeedSum - ifnull(OLD.AvgDownloadSpeed, 0)
            WHEN SpeedCount > (OLD.AvgDownloadSpeed IS NOT NULL) THEN 0.0 END,
        DownCount = DownCount - (OLD.BytesRcvd IS NOT NULL), UpCount = UpCount - (OLD.BytesSent IS NOT NULL),
        SpeedCount = SpeedCount - (OLD.AvgDownloadSpeed IS NOT NULL),
        SpeedNonZero = SpeedNonZero - ifnull(OLD.AvgDownloadSpeed <> 0, 0), RowCount = RowCount - 1
    WHERE Day = substr(OLD.DateAndTimeStart, 1, 10);
    DELETE FROM LogPerDay WHERE Day = substr(OLD.DateAndTimeStart, 1, 10) AND RowCount = 0;
    INSERT INTO LogPerDay VALUES (substr(NEW.DateAndTimeStart, 1, 10), NEW.BytesRcvd, NEW.BytesSent,
        NEW.AvgDownloadSpeed, NEW.BytesRcvd IS NOT NULL, NEW.BytesSent IS NOT NULL,
        NEW.AvgDownloadSpeed IS NOT NULL, ifnull(NEW.AvgDownloadSpeed <> 0, 0), 1)
    ON CONFLICT (Day) DO UPDATE SET
        BytesDown = coalesce(BytesDown + excluded.BytesDown, BytesDown, excluded.BytesDown),
        BytesUp = coalesce(BytesUp + excluded.BytesUp, BytesUp, excluded.BytesUp),
        SpeedSum = coalesce(SpeedSum + excluded.SpeedSum, SpeedSum, excluded.SpeedSum),
        DownCount = DownCount + excluded.DownCount, UpCount = UpCount + excluded.UpCount,
        SpeedCount = SpeedCount + excluded.SpeedCount, SpeedNonZero = SpeedNonZero + excluded.SpeedNonZero,
        RowCount = RowCount + 1;
END;

-- The views count a row entirely in the period in which it starts. Volumes are in KB of 1024
-- bytes, with fractions.

-- The per-day view uses the program's own SQL functions (Format, CLng, CDate), so only the
-- program can read it. It gives the rows of the program's definition of the view
-- (DayViewDefinition::jetText), which totals the log itself, from the per-day totals; its text
-- is DayViewDefinition::sqliteText, and tests keep the two equal.
CREATE VIEW DownloadPerDay AS SELECT CLng(Format(Day,'yyyymmdd')) AS DDate, BytesDown / 1024.0 AS KBDown, BytesUp / 1024.0 AS KBUp, SpeedSum / SpeedCount AS AVGDown, CDate(Format(Day,'yyyy/mm/dd')) AS Gdate FROM LogPerDay ORDER BY DDate DESC;

-- The other views use SQLite's own functions only, so the sqlite3 shell reads them too.
-- ddate = ISO 8601 week-numbering year * 100 + ISO week. The Thursday of a day's Monday-to-Sunday
-- week lies in the week's ISO year, and its day of that year gives the week number.
CREATE VIEW DownloadPerWeek AS
SELECT CAST(strftime('%Y', Thursday) AS INTEGER) * 100 + (CAST(strftime('%j', Thursday) AS INTEGER) - 1) / 7 + 1
           AS ddate,
       sum(BytesDown) / 1024.0 AS kbdown,
       sum(BytesUp) / 1024.0 AS kbup,
       sum(SpeedSum) / sum(SpeedCount) AS avgdown
FROM (SELECT date(Day, '-3 days', 'weekday 4') AS Thursday, BytesDown, BytesUp, SpeedSum, SpeedCount FROM LogPerDay)
GROUP BY ddate
ORDER BY ddate DESC;

-- ddate = yyyymm
CREATE VIEW DownloadPerMonth AS
SELECT CAST(substr(Day, 1, 4) || substr(Day, 6, 2) AS INTEGER) AS ddate,
       sum(BytesDown) / 1024.0 AS kbdown,
       sum(BytesUp) / 1024.0 AS kbup,
       sum(SpeedSum) / sum(SpeedCount) AS avgdown
FROM LogPerDay
GROUP BY ddate
ORDER BY ddate DESC;

-- ddate = yyyy
CREATE VIEW DownloadPerYear AS
SELECT CAST(substr(Day, 1, 4) AS INTEGER) AS ddate,
       sum(BytesDown) / 1024.0 AS kbdown,
       sum(BytesUp) / 1024.0 AS kbup,
       sum(SpeedSum) / sum(SpeedCount) AS avgdown
FROM LogPerDay
GROUP BY ddate
ORDER BY ddate DESC;

-- When each view was last defined. The start-up upgrade rewrites a per-day view dated 2001;
-- the shipped one is in its final form.
CREATE TABLE ViewCatalog (
    ViewName TEXT PRIMARY KEY COLLATE NOCASE,
    DateModified DATETIME NOT NULL
);
INSERT INTO ViewCatalog (ViewName, DateModified) VALUES
    ('DownloadPerDay', '2026-12-07 00:00:00'),
    ('DownloadPerWeek', '2026-12-07 00:00:00'),
    ('DownloadPerMonth', '2026-12-07 00:00:00'),
    ('DownloadPerYear', '2026-12-07 00:00:00');

COMMIT;
