# bash completion for mdmctl
_mdmctl() {
    local cur=${COMP_WORDS[COMP_CWORD]} words=() w
    for w in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        [ "$w" = --json ] || words+=("$w")
    done
    local choices
    case "${#words[@]}:${words[0]:-}" in
        0:) choices="status devices whitelist blacklist bank net --json --help" ;;
        1:whitelist|1:blacklist) choices="list add remove import clear" ;;
        1:bank) choices="ushield fingerprint taxtray taxkey" ;;
        1:net) choices="on off status" ;;
        2:bank) choices="list add remove on off status" ;;
        2:whitelist|2:blacklist)
            if [ "${words[1]}" = import ]; then
                COMPREPLY=($(compgen -f -- "$cur"))
                return
            fi ;;
    esac
    COMPREPLY=($(compgen -W "$choices" -- "$cur"))
}
complete -F _mdmctl mdmctl
