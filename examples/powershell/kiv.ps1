# kiv from PowerShell: a primality test, a Goldbach pair search whose progress events are
# printed, then one that is answered, and the system report.
#   powershell -File kiv.ps1 [-Digits 3000]
#
# PowerShell queues an object's events and runs their actions on its own schedule, not inside
# the call that raised them: an action gets copies of the arguments and cannot set Progress's
# cancel argument, so this script does not stop its search. For that, see the VBScript, Python,
# C# or C++ sample.
param([int]$Digits = 3000)

$prime = New-Object -ComObject kiv.Prime
$subscription = Register-ObjectEvent -InputObject $prime -EventName Progress -Action {
    $activity, $unit, $done, $expected, $elapsed, $current = $Event.SourceArgs[0..5]
    Write-Host ("progress: {0}, {1} of ~{2} {3}, p = {4}, {5:N1} s" -f
                $activity, $done, $expected, $unit, $current, $elapsed)
}

# "pair: p + q", or why there is none.
function Get-Pair([string]$Number) {
    try {
        $found = $prime.FindGoldbachPair($Number)
        if ($found.Found) { "pair: $($found.First) + $($found.Second)" } else { "no pair" }
    } catch {
        "stopped: $($_.Exception.Message)"
    }
}

"1000000007 is prime: $($prime.IsPrimeNumber('1000000007'))"
Get-Pair ("1" + "0" * ($Digits - 2) + "8")
Get-Pair ("1" + "0" * 98 + "8")
$prime.SysInfo

Unregister-Event -SubscriptionId $subscription.Id
