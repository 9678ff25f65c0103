# Shared set-up of the test files: tcltest, the package, and helpers that make
# filled objects. Every test file sources this first.
package require tcltest 2.5
namespace import ::tcltest::*
package require zolv

# A new object (its pointer text) holding the flat list o h l c v o h l c v ...
proc new_bars {values} {
    set p [corvalix::new_ZOLV]
    corvalix::ZOLV_setlist $p $values
    return $p
}

# The flat value list of bars given column by column (opens default to the
# closes, volumes to 0).
proc bars_of {highs lows closes {volumes {}} {opens {}}} {
    set values {}
    foreach h $highs l $lows c $closes v $volumes o $opens {
        if {$o eq ""} {set o $c}
        if {$v eq ""} {set v 0}
        lappend values $o $h $l $c $v
    }
    return $values
}

# Deletes an object made by new_bars, with its pointer-text command.
proc free_bars {p} {
    corvalix::delete_ZOLV $p
    catch {rename $p {}}
}
