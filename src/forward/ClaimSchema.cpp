#include "forward/ClaimSchema.h"

#include "record/ProductionRecord.h"

namespace qt2xx::claim_schema {

namespace {

// The first key of the advisory lock a claim holds on its order; the second is the order's hash.
constexpr int kOrderClaimsLock = 0x636c6169;

// Orders learn the serial pattern the first claim registers (empty: none yet, as forwarding made
// them) and keep the count of their finished units, which the claims compare with the quantity
// under the order's row lock. An order made before claims counts its records once.
QStringList orderStatements(const QString& finished) {
    return {
        QStringLiteral("ALTER TABLE orders ADD COLUMN IF NOT EXISTS serial_pattern text"),
        QStringLiteral("ALTER TABLE orders ADD COLUMN IF NOT EXISTS units_done integer"),
        QStringLiteral(
            "UPDATE orders o SET units_done = (SELECT count(DISTINCT CASE WHEN r.unit_serial <> '' THEN "
            "r.unit_serial END) + count(CASE WHEN r.unit_serial = '' THEN 1 END) FROM records r WHERE "
            "r.work_order = o.work_order AND r.result = %1) WHERE units_done IS NULL")
            .arg(finished),
        QStringLiteral("ALTER TABLE orders ALTER COLUMN units_done SET DEFAULT 0"),
    };
}

// A claim is live until expires_at; one live claim per serial in the whole plant, and one per run
// and unit, which is how the unit's record finds it. "counts" is false for a rework of a unit the
// order already counts as finished; "adopted" marks a claim a restarted station took back and has
// not yet given to a slot. A claim whose unit was made (made_at) waits for the unit's record
// without expiry (expires_at is infinity), whatever becomes of the station that holds it.
QStringList tableStatements() {
    return {
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS claims(claim_id bigserial PRIMARY KEY, work_order text NOT "
            "NULL, unit_serial text NOT NULL, run_id text NOT NULL, unit integer NOT NULL, station "
            "text NOT NULL, host text NOT NULL, counts boolean NOT NULL, adopted boolean NOT NULL "
            "DEFAULT false, claimed_at timestamptz NOT NULL DEFAULT now(), expires_at timestamptz "
            "NOT NULL)"),
        QStringLiteral("ALTER TABLE claims ADD COLUMN IF NOT EXISTS made_at timestamptz"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS claims_serial ON claims(unit_serial) WHERE "
                       "unit_serial <> ''"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS claims_unit ON claims(run_id, unit)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS claims_order ON claims(work_order)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS claims_station ON claims(station, host)"),
    };
}

// Registers the order on first use and compares it with the registered one, holding the order's
// claims lock until the transaction ends: every claim on one order passes here one at a time. The
// lock is not the order's row, which records take as they count finished units: a claim does not
// wait for a batch of records.
QString orderFunction() {
    return QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION claim_order(p_order text, p_product text, p_set text, p_quantity integer,
    p_pattern text, OUT r_verdict text, OUT r_detail text, OUT r_holder text, OUT r_at timestamptz,
    OUT r_units integer, OUT r_quantity integer)
LANGUAGE plpgsql AS $f$
DECLARE
    o orders;
BEGIN
    PERFORM pg_advisory_xact_lock(%3, hashtext(p_order));
    -- Read first: an insert that meets the order's row would wait for a batch of records updating it.
    SELECT * INTO o FROM orders WHERE work_order = p_order;
    IF NOT FOUND THEN
        INSERT INTO orders(work_order, product, set_sha256, quantity, first_used, serial_pattern, units_done)
            VALUES (p_order, p_product, p_set, p_quantity, now(), p_pattern, 0)
            ON CONFLICT (work_order) DO NOTHING;
        SELECT * INTO o FROM orders WHERE work_order = p_order;
    END IF;
    r_units := o.units_done;
    r_quantity := o.quantity;
    r_verdict := '%1';
    IF o.product <> p_product THEN
        r_detail := 'product'; r_holder := o.product; RETURN;
    ELSIF o.set_sha256 <> p_set THEN
        r_detail := 'set_sha256'; r_holder := o.set_sha256; RETURN;
    ELSIF o.quantity <> p_quantity THEN
        r_detail := 'quantity'; r_holder := o.quantity::text; RETURN;
    ELSIF o.serial_pattern IS NULL THEN
        UPDATE orders SET serial_pattern = p_pattern WHERE work_order = p_order;
    ELSIF o.serial_pattern <> p_pattern THEN
        r_detail := 'serial_pattern'; r_holder := o.serial_pattern; RETURN;
    END IF;
    r_verdict := '%2';
END $f$)sql")
        .arg(QLatin1String(kDiffers), QLatin1String(kAgreed))
        .arg(kOrderClaimsLock);
}

// One claim in one statement, so that the order's row is held for as short a time as the server
// can make it. Refusals name who holds the serial or finished it, or how many units count.
QString unitFunction(const QString& finished) {
    return QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION claim_unit(p_order text, p_product text, p_set text, p_quantity integer,
    p_pattern text, p_serial text, p_rework boolean, p_run text, p_unit integer, p_station text,
    p_host text, p_lease_ms integer, OUT r_verdict text, OUT r_detail text, OUT r_holder text,
    OUT r_at timestamptz, OUT r_units integer, OUT r_quantity integer)
LANGUAGE plpgsql AS $f$
DECLARE
    c claims;
    expiry timestamptz := now() + make_interval(secs => p_lease_ms / 1000.0);
    counted boolean := true;
BEGIN
    SELECT * INTO r_verdict, r_detail, r_holder, r_at, r_units, r_quantity
        FROM claim_order(p_order, p_product, p_set, p_quantity, p_pattern);
    IF r_verdict <> '%1' THEN
        RETURN;
    END IF;
    DELETE FROM claims WHERE work_order = p_order AND expires_at <= now();
    -- Asked again after an answer was lost: the claim is there already.
    SELECT * INTO c FROM claims WHERE run_id = p_run AND unit = p_unit;
    IF FOUND AND c.station = p_station AND c.host = p_host AND c.work_order = p_order
            AND c.unit_serial = p_serial THEN
        UPDATE claims SET expires_at = expiry WHERE claim_id = c.claim_id;
        r_verdict := '%2'; RETURN;
    END IF;
    IF p_serial <> '' THEN
        DELETE FROM claims WHERE unit_serial = p_serial AND expires_at <= now();
        SELECT * INTO c FROM claims WHERE unit_serial = p_serial;
        IF FOUND AND c.made_at IS NOT NULL THEN
            -- Finished, its record on the way: a rework at the same station goes under that claim.
            IF NOT p_rework THEN
                r_verdict := '%6'; r_holder := c.station; r_at := c.made_at; RETURN;
            ELSIF c.station = p_station AND c.host = p_host THEN
                r_verdict := '%2'; RETURN;
            END IF;
            r_verdict := '%4'; r_holder := c.station; r_at := c.claimed_at; RETURN;
        ELSIF FOUND THEN
            IF c.station = p_station AND c.host = p_host THEN
                UPDATE claims SET run_id = p_run, unit = p_unit, adopted = false, expires_at = expiry
                    WHERE claim_id = c.claim_id;
                r_verdict := '%3'; RETURN;
            END IF;
            r_verdict := '%4'; r_holder := c.station; r_at := c.claimed_at; RETURN;
        END IF;
        SELECT r.station, r.recorded_at INTO r_holder, r_at FROM records r
            WHERE r.unit_serial = p_serial AND r.result = %5 ORDER BY r.recorded_at DESC LIMIT 1;
        IF FOUND THEN
            IF NOT p_rework THEN
                r_verdict := '%6'; RETURN;
            END IF;
            counted := NOT EXISTS (SELECT 1 FROM records r WHERE r.unit_serial = p_serial
                AND r.result = %5 AND r.work_order = p_order);
            r_holder := NULL; r_at := NULL;
        END IF;
    ELSE
        UPDATE claims SET run_id = p_run, unit = p_unit, adopted = false, expires_at = expiry
            WHERE claim_id = (SELECT claim_id FROM claims WHERE work_order = p_order AND unit_serial = ''
                AND adopted AND station = p_station AND host = p_host LIMIT 1);
        IF FOUND THEN
            r_verdict := '%3'; RETURN;
        END IF;
    END IF;
    IF counted THEN
        -- One statement, so that a record that ends a claim and counts its unit is seen doing both
        -- or neither.
        SELECT o.units_done + (SELECT count(*) FROM claims l WHERE l.work_order = p_order AND l.counts)
            INTO r_units FROM orders o WHERE o.work_order = p_order;
        IF r_units >= r_quantity THEN
            r_verdict := '%7'; RETURN;
        END IF;
        r_units := r_units + 1;
    END IF;
    BEGIN
        INSERT INTO claims(work_order, unit_serial, run_id, unit, station, host, counts, expires_at)
            VALUES (p_order, p_serial, p_run, p_unit, p_station, p_host, counted, expiry);
    EXCEPTION WHEN unique_violation THEN
        -- Claimed for another order at the same moment: that order's lock is not this one's.
        SELECT station, claimed_at INTO r_holder, r_at FROM claims WHERE unit_serial = p_serial;
        r_verdict := '%4'; RETURN;
    END;
    r_verdict := '%2';
END $f$)sql")
        .arg(QLatin1String(kAgreed), QLatin1String(kGranted), QLatin1String(kTakenBack), QLatin1String(kHeld),
             finished, QLatin1String(kFinished), QLatin1String(kComplete));
}

// A unit's record ends its claim: finished, the order counts one more unit unless the serial was
// finished before; failed, the unit is free again. The order's row is taken first, so that the
// records of one order count one after another and a serial finished twice counts once; claims do
// not take it.
QStringList endStatements(const QString& finished) {
    return {
        QStringLiteral(R"sql(
CREATE OR REPLACE FUNCTION claim_end_by_record() RETURNS trigger LANGUAGE plpgsql AS $f$
BEGIN
    IF NEW.work_order <> '' THEN
        PERFORM 1 FROM orders WHERE work_order = NEW.work_order FOR UPDATE;
    END IF;
    DELETE FROM claims WHERE run_id = NEW.run_id AND unit = NEW.unit;
    -- A station claims before its port starts the run the record names, so a finished record also
    -- ends the claim its station holds on the unit: on the serial, or without one the oldest whose
    -- unit was made, else the oldest. A unit that did not finish is released by its station.
    IF NOT FOUND AND NEW.work_order <> '' AND NEW.result = %1 THEN
        DELETE FROM claims WHERE claim_id = (SELECT claim_id FROM claims WHERE work_order = NEW.work_order
            AND unit_serial = NEW.unit_serial AND station = NEW.station
            ORDER BY made_at NULLS LAST, claimed_at LIMIT 1);
    END IF;
    IF NEW.work_order <> '' AND NEW.result = %1 AND (NEW.unit_serial = '' OR NOT EXISTS (
            SELECT 1 FROM records r WHERE r.work_order = NEW.work_order AND r.unit_serial = NEW.unit_serial
            AND r.result = %1 AND r.record_id <> NEW.record_id)) THEN
        UPDATE orders SET units_done = units_done + 1 WHERE work_order = NEW.work_order;
    END IF;
    RETURN NULL;
END $f$)sql")
            .arg(finished),
        QStringLiteral("CREATE OR REPLACE TRIGGER records_end_claim AFTER INSERT ON records FOR EACH ROW "
                       "EXECUTE FUNCTION claim_end_by_record()"),
    };
}

} // namespace

QStringList ServerStatements() {
    const QString finished = QStringLiteral("'%1'").arg(ResultName(Outcome::Finished));
    return orderStatements(finished) + tableStatements() +
           QStringList{orderFunction(), unitFunction(finished)} + endStatements(finished);
}

} // namespace qt2xx::claim_schema
